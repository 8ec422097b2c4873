// NT security blocks: which calls are made, with which access and information flags, for
// files, queued directories and the privileges held; and every block shape that must not
// reach Windows. Descriptors and blocks are built here byte by byte.
#include <zlib.h>

#include <functional>
#include <ostream>

#include "engine_fixture.h"

namespace {

std::string sid(uint8_t authority, std::vector<uint32_t> subs) {
    std::string s;
    s += (char)1;
    s += (char)subs.size();
    s += std::string(5, '\0') + (char)authority;
    for (uint32_t v : subs)
        put32(s, v);
    return s;
}

// An ACL of one ACE of type `type` for Everyone.
std::string acl(uint8_t type) {
    std::string everyone = sid(1, {0}), ace, a;
    ace += (char)type;
    ace += (char)(type == 2 ? 0xC0 : 0); // an audit ACE audits success and failure
    put16(ace, (unsigned)(8 + everyone.size()));
    put32(ace, 0x1F01FF);
    ace += everyone;
    a += (char)2;
    a += (char)0;
    put16(a, (unsigned)(8 + ace.size()));
    put16(a, 1);
    put16(a, 0);
    return a + ace;
}

// A self-relative descriptor: owner and group BUILTIN\Administrators, a DACL allowing
// Everyone, and a SACL auditing Everyone when asked.
std::string descriptor(bool withSacl = false) {
    std::string admins = sid(5, {32, 544}), dacl = acl(0), sacl = withSacl ? acl(2) : "";
    uint32_t owner = 20, group = owner + (uint32_t)admins.size(),
             daclAt = group + (uint32_t)admins.size();
    std::string d;
    d += (char)1;
    d += (char)0;
    put16(d, SE_SELF_RELATIVE | SE_DACL_PRESENT | (withSacl ? SE_SACL_PRESENT : 0));
    put32(d, owner);
    put32(d, group);
    put32(d, withSacl ? daclAt + (uint32_t)dacl.size() : 0);
    put32(d, daclAt);
    return d + admins + admins + dacl + sacl;
}

// An "SD" block: announced size, version, method, CRC of the descriptor, the data.
std::string sdBlock(const std::string &sd, uint16_t method = METHOD_STORED, int64_t announced = -1,
                    uint8_t version = 0) {
    std::string body;
    put32(body, announced >= 0 ? (uint32_t)announced : (uint32_t)sd.size());
    body += (char)version;
    put16(body, method);
    put32(body, (uint32_t)::crc32(0UL, (const Bytef *)sd.data(), (uInt)sd.size()));
    body += method == METHOD_DEFLATED ? zlibDeflate(sd) : sd;
    std::string block;
    put16(block, EF_NTSD);
    put16(block, (unsigned)body.size());
    return block + body;
}

class Security : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        G.security_level = 1;
        G.cur_entry->platform_attr = FILE_ATTRIBUTE_ARCHIVE;
        writeFile("f.txt", "x");
        mkdir("d", 0755);
    }
    int eval(const char *path, const std::string &block, int isDir = 0) {
        return EvalExtraFields(path, (const uint8_t *)block.data(), (unsigned)block.size(), isDir);
    }
    static std::vector<compat::ApiCall> calls(const char *name) {
        std::vector<compat::ApiCall> out;
        for (const compat::ApiCall &c : compat::apiCalls())
            if (c.name == name) out.push_back(c);
        return out;
    }
    static size_t setCount() { return calls("SetKernelObjectSecurity").size(); }
};

// ---------------------------------------------------------------------------------------
// What is set on a file, by level and privileges

struct PartsCase {
    const char *label;
    int level;
    bool restore, security, withSacl, remote;
    DWORD access, flags, info;
};
void PrintTo(const PartsCase &c, std::ostream *os) {
    *os << c.label;
}

class SecurityParts : public Security, public ::testing::WithParamInterface<PartsCase> {};

TEST_P(SecurityParts, AccessFlagsAndInformation) {
    const PartsCase &c = GetParam();
    G.security_level = c.level;
    compat::setPrivilegesHeld(c.restore, c.security);
    if (c.remote) compat::setDriveType(DRIVE_REMOTE);
    EXPECT_EQ(0, eval("f.txt", sdBlock(descriptor(c.withSacl))));
    std::vector<compat::ApiCall> opens = calls("CreateFileA"),
                                 sets = calls("SetKernelObjectSecurity");
    ASSERT_FALSE(opens.empty());
    EXPECT_EQ(c.access, opens.back().access);
    EXPECT_EQ(c.flags, opens.back().flags);
    ASSERT_EQ(1u + (c.remote ? 1u : 0u), sets.size()); // the probe writes back what it read
    EXPECT_EQ(c.info, sets.back().info);
    EXPECT_EQ(" (" + std::to_string(descriptor(c.withSacl).size()) + " bytes security)",
              messages());
}

const DWORD DACL = DACL_SECURITY_INFORMATION, ALL = OWNER_SECURITY_INFORMATION |
                                                    GROUP_SECURITY_INFORMATION |
                                                    DACL_SECURITY_INFORMATION;
const PartsCase PartsCases[] = {
    {"LevelOneSetsTheDaclOnly", 1, true, true, true, false, WRITE_DAC, 0, DACL},
    {"PrivilegesNeedLevelTwo", 2, false, false, true, false, WRITE_DAC, 0, DACL},
    {"RestoreSetsOwnerGroupAndSacl", 2, true, false, true, false,
     WRITE_DAC | WRITE_OWNER | ACCESS_SYSTEM_SECURITY, FILE_FLAG_BACKUP_SEMANTICS,
     ALL | SACL_SECURITY_INFORMATION},
    {"SecurityPrivilegeSetsTheSacl", 2, false, true, true, false,
     WRITE_DAC | ACCESS_SYSTEM_SECURITY, 0, DACL | SACL_SECURITY_INFORMATION},
    {"RestoreWithoutSacl", 2, true, false, false, false, WRITE_DAC | WRITE_OWNER,
     FILE_FLAG_BACKUP_SEMANTICS, ALL},
    {"NetworkVolumeByWhatTheProbeCouldDo", 2, false, false, false, true, WRITE_DAC | WRITE_OWNER,
     FILE_FLAG_BACKUP_SEMANTICS, ALL},
};
INSTANTIATE_TEST_SUITE_P(Levels, SecurityParts, ::testing::ValuesIn(PartsCases),
                         [](const auto &info) { return std::string(info.param.label); });

// ---------------------------------------------------------------------------------------
// Blocks that set nothing

struct BlockCase {
    const char *label;
    std::function<std::string()> block;
    int result;
};
void PrintTo(const BlockCase &c, std::ostream *os) {
    *os << c.label;
}

class SecurityBlocks : public Security, public ::testing::WithParamInterface<BlockCase> {};

TEST_P(SecurityBlocks, ResultAndNothingSet) {
    EXPECT_EQ(GetParam().result, eval("f.txt", GetParam().block()));
    EXPECT_EQ(0u, setCount());
}

// A block cut after its first n data bytes (its size field says so).
std::string cut(std::string block, unsigned n) {
    block.resize(4 + n);
    block[2] = (char)n;
    block[3] = 0;
    return block;
}

// The descriptor with one 32-bit field (at offset) changed.
std::string patched(uint32_t offset, uint32_t value) {
    std::string d = descriptor();
    std::string v;
    put32(v, value);
    d.replace(offset, 4, v);
    return d;
}

const BlockCase BlockCases[] = {
    {"DataMissing", [] { return cut(sdBlock(descriptor()), 11); }, ZR_EF_MISSING},
    {"NothingAnnouncedInAShortBlock", [] { return cut(sdBlock("", 0, 0), 7); }, 0},
    {"OtherVersion", [] { return sdBlock(descriptor(), 0, -1, 1); }, 0},
    {"StoredLongerThanAnnounced", [] { return sdBlock(descriptor(), 0, 40); }, ZR_ERR},
    {"StoredShorterThanAnnounced", [] { return sdBlock(descriptor(), 0, 100); }, ZR_ERR},
    {"DeflatedShorterThanAnnounced", [] { return sdBlock(descriptor(), METHOD_DEFLATED, 100); },
     ZR_ERR},
    {"LargerThanAnyDescriptor", [] { return sdBlock(descriptor(), 0, 131227); }, ZR_ERR},
    {"BadCrc",
     [] {
         std::string b = sdBlock(descriptor());
         b[11] ^= 1;
         return b;
     },
     ZR_ERR},
    {"NotSelfRelative",
     [] {
         std::string d = descriptor();
         d[3] = 0;
         return sdBlock(d);
     },
     0},
    {"OwnerOutsideTheBuffer", [] { return sdBlock(patched(4, 79)); }, 0},
    {"DaclLargerThanTheBuffer", [] { return sdBlock(patched(54, 0x000100C8)); }, 0}, // 200
    {"SidWithSixteenSubAuthorities",
     [] {
         std::string d = descriptor();
         d[20 + 1] = 16;
         return sdBlock(d);
     },
     0},
};
INSTANTIATE_TEST_SUITE_P(Shapes, SecurityBlocks, ::testing::ValuesIn(BlockCases),
                         [](const auto &info) { return std::string(info.param.label); });

TEST_F(Security, DeflatedDescriptorIsSetLikeAStoredOne) {
    EXPECT_EQ(0, eval("f.txt", sdBlock(descriptor(), METHOD_DEFLATED)));
    EXPECT_EQ(1u, setCount());
}

TEST_F(Security, NothingHappensWithoutTheOptionOrWithoutAcls) {
    G.security_level = 0;
    EXPECT_EQ(0, eval("f.txt", sdBlock(descriptor())));
    EXPECT_TRUE(compat::apiCalls().empty());
    G.security_level = 1;
    compat::setVolume("FAT", 255, 0);
    EXPECT_EQ(0, eval("f.txt", sdBlock(descriptor())));
    EXPECT_EQ(0u, setCount());
}

// ---------------------------------------------------------------------------------------
// Directories

TEST_F(Security, DirectoriesAreSetAfterTheLastMemberInOrder) {
    mkdir("d/e", 0755);
    G.cur_entry->platform_attr = FILE_ATTRIBUTE_ARCHIVE; // as Java-made archives have it
    EXPECT_EQ(0, eval("d", sdBlock(descriptor()), 1));
    EXPECT_EQ(0, eval("d/e", sdBlock(descriptor(), METHOD_DEFLATED), 1));
    EXPECT_EQ(0, eval("f.txt", sdBlock(descriptor())));
    std::vector<compat::ApiCall> sets = calls("SetKernelObjectSecurity");
    ASSERT_EQ(1u, sets.size());
    EXPECT_EQ("f.txt", sets[0].path);
    process_defer_NT();
    sets = calls("SetKernelObjectSecurity");
    ASSERT_EQ(3u, sets.size());
    EXPECT_EQ("d", sets[1].path);
    EXPECT_EQ("d/e", sets[2].path);
    EXPECT_EQ(FILE_FLAG_BACKUP_SEMANTICS, calls("CreateFileA").back().flags);
    EXPECT_EQ(" (80 bytes security)    updated: 2 directory entries with 160 bytes security",
              messages());
    // The volume was asked once for the whole run.
    EXPECT_EQ(1u, calls("GetVolumeInformationA").size());
}

TEST_F(Security, FailedDirectoriesAreCounted) {
    compat::setSecurityFails(true);
    EXPECT_EQ(0, eval("d", sdBlock(descriptor()), 1));
    EXPECT_EQ(0, eval("d", sdBlock(patched(4, 79)), 1)); // queued, but never handed on
    G.quiet_level = 1;
    process_defer_NT();
    EXPECT_EQ("     failed: 2 directory entries with 160 bytes security", messages());
    EXPECT_EQ(1u, setCount());
}

TEST_F(Security, QuietRunsAndEarlyEndsReportNothing) {
    EXPECT_EQ(0, eval("d", sdBlock(descriptor()), 1));
    discard_defer_NT(); // the member loop ended early
    process_defer_NT();
    EXPECT_EQ(0u, setCount());
    EXPECT_EQ(0, eval("d", sdBlock(descriptor()), 1));
    G.quiet_level = 2;
    process_defer_NT();
    EXPECT_EQ(1u, setCount());
    EXPECT_EQ("", messages());
}

} // namespace
