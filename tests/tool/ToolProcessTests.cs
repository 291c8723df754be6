using System;
using System.Diagnostics;
using System.IO;
using System.Text;
using NUnit.Framework;
using tool;

namespace tool.Tests
{
    /// <summary>The built tool run as its own process, its standard output taken as bytes.</summary>
    [TestFixture]
    public class ToolProcessTests
    {
        private static byte[] RunTool(params string[] args)
        {
            return RunToolWithConfig(null, args);
        }

        /// <summary>The tool with the runtime configuration of the given file, when not null.</summary>
        private static byte[] RunToolWithConfig(string runtimeConfig, params string[] args)
        {
            string exe = typeof(Scrivel).Assembly.Location;
            var arguments = new StringBuilder("\"" + exe + "\"");
            foreach (string a in args) arguments.Append(" \"").Append(a).Append('"');
            var start = new ProcessStartInfo("mono", arguments.ToString());
            start.UseShellExecute = false;
            if (runtimeConfig != null) start.EnvironmentVariables["MONO_CONFIG"] = runtimeConfig;
            start.RedirectStandardOutput = true;
            start.RedirectStandardError = true;
            using (var process = Process.Start(start))
            {
                var output = new MemoryStream();
                process.StandardOutput.BaseStream.CopyTo(output);
                string errors = process.StandardError.ReadToEnd();
                process.WaitForExit();
                Assert.AreEqual("", errors, "nothing on the error output");
                Assert.AreEqual(0, process.ExitCode);
                return output.ToArray();
            }
        }

        [Test]
        public void StandardOutputIsUtf8WithCrLfAndNoMark()
        {
            byte[] expected = Encoding.ASCII.GetBytes(ToolRun.Banner
                + "USAGE: Drag and drop TXT or UPK file(s) on the executable\r\n..DONE..");
            CollectionAssert.AreEqual(expected, RunTool());

            using (var folder = new TempFolder())
            {
                string name = "m\u00E9nu.doc";
                File.WriteAllBytes(folder.File(name), new byte[1]);
                expected = Encoding.UTF8.GetBytes(ToolRun.Banner + "The file " + name + " is not supported!\r\n..DONE..");
                CollectionAssert.AreEqual(expected, RunTool(folder.File(name)));
            }
        }

        /// <summary>
        /// When the runtime cannot load the native library its file work goes
        /// through, every file says so on one line, as neither damaged nor
        /// missing, whatever kind of file it is, and the run goes on.
        /// </summary>
        [Test]
        public void ARuntimeThatCannotWorkWithFilesSaysSoForEachFile()
        {
            using (var folder = new TempFolder())
            {
                string config = folder.File("config");
                File.WriteAllText(config, "<configuration><dllmap dll=\"System.Native\" target=\"absent-library.so\"/></configuration>");
                string[] names = { "Present.upk", "Present.txt", "Absent.upk", "Absent.txt" };
                File.WriteAllBytes(folder.File(names[0]), DemoPackage.Build());
                File.WriteAllBytes(folder.File(names[1]), new byte[] { 0xFF, 0xFE, (byte)'x', 0 });
                var expected = new StringBuilder(ToolRun.Banner);
                foreach (string name in names)
                    expected.Append("The file " + name + " could not be handled because the runtime cannot work with files (a library of it is missing)!\r\n");
                expected.Append("..DONE..");
                string[] paths = Array.ConvertAll(names, folder.File);
                Assert.AreEqual(expected.ToString(), Encoding.UTF8.GetString(RunToolWithConfig(config, paths)));
            }
        }

        /// <summary>
        /// A terminal gets a line break after the closing mark, so that the
        /// shell's prompt does not stick to it; a pipe or a file gets the
        /// bytes without it. The terminal is a pseudo-terminal of script(1),
        /// with the output's line ends left as written.
        /// </summary>
        [TestCase("mono '{0}' | cat > '{1}'", "..DONE..")]
        [TestCase("mono '{0}' > '{1}'", "..DONE..")]
        [TestCase("script -q -e -c \"stty -onlcr; mono '{0}'\" /dev/null > '{1}'", "..DONE..\r\n")]
        public void ClosingMarkEndsTheLineOnlyOnATerminal(string command, string ending)
        {
            using (var folder = new TempFolder())
            {
                string output = folder.File("output");
                string exe = typeof(Scrivel).Assembly.Location;
                var start = new ProcessStartInfo("sh");
                start.Arguments = "-c \"" + string.Format(command, exe, output).Replace("\"", "\\\"") + "\"";
                start.UseShellExecute = false;
                using (var process = Process.Start(start))
                {
                    process.WaitForExit();
                    Assert.AreEqual(0, process.ExitCode, command);
                }
                byte[] expected = Encoding.ASCII.GetBytes(ToolRun.Banner
                    + "USAGE: Drag and drop TXT or UPK file(s) on the executable\r\n" + ending);
                CollectionAssert.AreEqual(expected, File.ReadAllBytes(output), command);
            }
        }
    }
}
