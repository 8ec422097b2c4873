// The Java program of the launcher's end-to-end tests and demonstration: prints how it was
// started (its arguments, working directory and CLASSPATH), one "key=value" line each, to
// standard output and, when SHOWLAUNCH_OUT names a file, to that file as well.
package demo;

import java.io.FileOutputStream;
import java.io.IOException;
import java.nio.charset.StandardCharsets;

public final class ShowLaunch {
    public static void main(String[] args) throws IOException {
        StringBuilder text = new StringBuilder();
        text.append("argc=").append(args.length).append('\n');
        for (int i = 0; i < args.length; i++) {
            text.append("arg[").append(i).append("]=").append(args[i]).append('\n');
        }
        text.append("cwd=").append(System.getProperty("user.dir")).append('\n');
        String classpath = System.getenv("CLASSPATH");
        text.append(classpath == null ? "classpath-absent=" : "classpath=" + classpath)
            .append('\n');
        text.append("end\n");
        System.out.print(text);
        System.out.flush();
        String out = System.getenv("SHOWLAUNCH_OUT");
        if (out != null && !out.isEmpty()) {
            try (FileOutputStream file = new FileOutputStream(out, true)) {
                file.write(text.toString().getBytes(StandardCharsets.UTF_8));
            }
        }
    }
}
