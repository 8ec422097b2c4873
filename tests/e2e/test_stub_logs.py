"""The stub's files in its temporary directory, its logs and its clean-up after a failed run.

No archive is appended to the stub in these runs, so every run fails: the stub logs, shows its
error box (the harness snapshots the directories while it is open), cleans its directory up
and ends with exit code 0.
"""

import unittest

from stubtools import MSG_UNZIP_FAILED, TEXT_ENGLISH, StubTestCase, in_snapshot, top_level


class FailedRun(StubTestCase):
    def setUp(self):
        super().setUp()
        self.place_start_and_temp()

    def run_failing(self, **kwargs):
        result = self.run_stub(self.start, env={"TEMP": self.temp},
                               snapshot=[self.temp, self.start], **kwargs)
        self.assertEqual(result.box_text, TEXT_ENGLISH, result)
        self.assertEqual(len(result.boxes), 1, result)
        return result

    def test_startdir_txt_holds_one_crlf_line(self):
        result = self.run_failing()
        made = in_snapshot(result.snapshot, self.temp, "tmpqel01")
        self.assertEqual(made["startdir.txt"], self.wine.winpath(self.start).encode() + b"\r\n")

    def test_files_while_the_box_is_shown(self):
        result = self.run_failing()
        made = top_level(in_snapshot(result.snapshot, self.temp, "tmpqel01"))
        # The semaphore file lives until the worker ends; the empty extraction log is gone.
        self.assertEqual(sorted(made), ["__qelexpand.sem", "errors.log", "startdir.txt"])
        self.assertEqual(made["__qelexpand.sem"], b"ok\r\n")
        # Only the first of the worker's two lines: the second follows the box.
        self.assertErrorsLog(made["errors.log"], [MSG_UNZIP_FAILED])

    def test_exit_code_is_0_after_a_failed_extraction(self):
        result = self.run_failing()
        self.assertEqual((result.status, result.exit_code), ("exit", 0))

    def test_clean_up_leaves_nothing(self):
        result = self.run_failing()
        self.assertEqual(result.exit_code, 0)
        # errors.log (both lines), startdir.txt, the semaphore file and the directory are gone.
        self.assertEqual(list(self.temp.iterdir()), [])
        self.assertEqual(sorted(p.name for p in self.start.iterdir()), ["installer.exe"])


class SwitchFiles(StubTestCase):
    """The start directory's *.log names become empty files in the temporary directory."""

    def setUp(self):
        super().setUp()
        self.place_start_and_temp()
        files = {
            "trace.log": b"old trace content",  # copied, empty
            "setup.log": b"",                   # copied
            "ERRORS.LOG": b"upper case",        # extension not exactly ".log": not copied
            "qelpand.log": b"old",              # the extraction log's name: not copied
            "my-qelpand.log": b"old",           # holds "qelpand.log": not copied
            "notes.txt": b"text",               # not a log
            "trace.logx": b"x",                 # extension ".logx": not copied
        }
        for name, data in files.items():
            (self.start / name).write_bytes(data)
        (self.start / "folder.log").mkdir()     # a directory: not copied
        self.files = files

    def test_log_names_are_copied_empty(self):
        result = self.run_stub(self.start, env={"TEMP": self.temp}, snapshot=[self.temp])
        self.assertEqual(result.box_text, TEXT_ENGLISH, result)
        made = top_level(in_snapshot(result.snapshot, self.temp, "tmpqel01"))
        self.assertEqual(sorted(made), ["__qelexpand.sem", "errors.log", "setup.log",
                                        "startdir.txt", "trace.log"])
        self.assertEqual(made["trace.log"], b"")
        self.assertEqual(made["setup.log"], b"")
        # The stub's own errors.log line went into a file of its own, not into a copy.
        self.assertErrorsLog(made["errors.log"], [MSG_UNZIP_FAILED])
        # The start directory is left as it was.
        for name, data in self.files.items():
            self.assertEqual((self.start / name).read_bytes(), data, name)
        self.assertFalse((self.start / "errors.log").exists())


class TermLog(StubTestCase):
    """A "term.log" beside the stub sends every logged message to standard error as well."""

    def setUp(self):
        super().setUp()
        self.place_start_and_temp()

    def test_messages_appear_on_standard_error(self):
        (self.start / "term.log").write_bytes(b"")
        result = self.run_stub(self.start, env={"TEMP": self.temp}, snapshot=[self.temp])
        self.assertEqual(result.box_text, TEXT_ENGLISH, result)
        made = top_level(in_snapshot(result.snapshot, self.temp, "tmpqel01"))
        self.assertEqual(made.get("term.log"), b"")
        # Written as they stand, without line ends: the worker's line, then the box text.
        self.assertIn(MSG_UNZIP_FAILED.encode() + TEXT_ENGLISH.encode(), result.stderr)
        self.assertNotIn(MSG_UNZIP_FAILED.encode(), result.stdout)
        self.assertEqual(result.exit_code, 0)

    def test_without_term_log_standard_error_has_no_log_messages(self):
        result = self.run_stub(self.start, env={"TEMP": self.temp})
        self.assertEqual(result.box_text, TEXT_ENGLISH, result)
        self.assertNotIn(MSG_UNZIP_FAILED.encode(), result.stderr)
        self.assertNotIn(TEXT_ENGLISH.encode(), result.stderr)


if __name__ == "__main__":
    unittest.main()
