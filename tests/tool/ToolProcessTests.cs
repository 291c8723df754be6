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
            return RunToolWith(null, int.MaxValue, args);
        }

        /// <summary>The tool with the runtime configuration of the given file, when not null.</summary>
        private static byte[] RunToolWithConfig(string runtimeConfig, params string[] args)
        {
            return RunToolWith(runtimeConfig, int.MaxValue, args);
        }

        /// <summary>Runs the tool; a run that takes longer than milliseconds is ended and fails the test.</summary>
        private static byte[] RunToolWithin(int milliseconds, params string[] args)
        {
            return RunToolWith(null, milliseconds, args);
        }

        private static byte[] RunToolWith(string runtimeConfig, int milliseconds, params string[] args)
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
                var copied = process.StandardOutput.BaseStream.CopyToAsync(output);
                var errorText = process.StandardError.ReadToEndAsync();
                if (!process.WaitForExit(milliseconds))
                {
                    process.Kill();
                    Assert.Fail("the tool still runs after " + milliseconds + " ms");
                }
                process.WaitForExit();
                copied.Wait();
                string errors = errorText.Result;
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

        private static void Shell(string command)
        {
            var start = new ProcessStartInfo("sh", "-c \"" + command.Replace("\"", "\\\"") + "\"");
            start.UseShellExecute = false;
            using (var process = Process.Start(start))
            {
                process.WaitForExit();
                Assert.AreEqual(0, process.ExitCode, command);
            }
        }

        /// <summary>
        /// Only regular files are read, and each one at the size it had when
        /// opened: FIFOs (which would block the open), folders and devices,
        /// also as the package beside a text file, files beyond 2 GB (sparse
        /// here), and files whose size is not what they hold are each
        /// refused on one line, without waiting, and the run goes on.
        /// </summary>
        [Test]
        public void InputsThatAreNotWholeRegularFilesAreRefusedOnOneLineEach()
        {
            const string shorterThanItsSize = "/sys/devices/system/cpu/online";
            if (!File.Exists(shorterThanItsSize)) Assert.Ignore("no " + shorterThanItsSize);
            using (var folder = new TempFolder())
            {
                var text = new byte[] { 0xFF, 0xFE, 0x61, 0 };
                Shell("cd '" + folder.Path + "' && mkfifo pipe.upk pipe.txt sub.upk && mkdir folder.upk dir.upk folder.txt"
                    + " && ln -s /dev/zero zero.upk && ln -s " + shorterThanItsSize + " short.upk"
                    + " && ln -s /proc/self/status grows.upk && truncate -s 2G huge.upk && truncate -s 2G huge.txt");
                File.WriteAllBytes(folder.File("sub.txt"), text);
                File.WriteAllBytes(folder.File("dir.txt"), text);
                string[] names = { "pipe.upk", "pipe.txt", "sub.txt", "folder.upk", "dir.txt", "folder.txt",
                    "zero.upk", "huge.upk", "huge.txt", "short.upk", "grows.upk" };
                string[] lines = { "The file pipe.upk is not supported!", "The file pipe.txt is not supported!",
                    "The file sub.upk is not supported!", "The file folder.upk is not supported!",
                    "The file dir.upk is not supported!", "The file folder.txt is not supported!",
                    "The file zero.upk is not supported!", "The file huge.upk is too large to handle!",
                    "The file huge.txt is too large to handle!", "The file short.upk could not be read!",
                    "The file grows.upk could not be read!" };
                var args = new string[names.Length];
                for (int i = 0; i < names.Length; i++) args[i] = folder.File(names[i]);
                string output = Encoding.UTF8.GetString(RunToolWithin(30000, args));
                Assert.AreEqual(ToolRun.Banner + string.Join("\r\n", lines) + "\r\n..DONE..", output);
            }
        }

        /// <summary>In a terminal narrower than the progress line, no bar is drawn: it would wrap on every redraw.</summary>
        [TestCase(20, false)]
        [TestCase(80, true)]
        public void TheBarIsDrawnOnlyWhereItFits(int columns, bool drawn)
        {
            using (var folder = new TempFolder())
            {
                var b = new PackageBuilder();
                var data = new byte[12];
                for (int i = 0; i < 50; i++) b.AddExport("SoundNodeWave", data);
                BitConverter.GetBytes(b.NameIndex("None")).CopyTo(data, 4);
                b.WriteTo(folder.File("p.upk"));
                string output = folder.File("output");
                Shell(string.Format("script -q -e -c \"stty cols {0} -onlcr; mono '{1}' '{2}'\" /dev/null > '{3}'",
                    columns, typeof(Scrivel).Assembly.Location, folder.File("p.upk"), output));
                string shown = File.ReadAllText(output);
                StringAssert.Contains("Extracting subtitles:", shown);
                Assert.AreEqual(drawn, shown.Contains("\u2592"), shown);
                Assert.AreEqual(drawn, shown.Contains("\u001b["), shown);
            }
        }

        /// <summary>
        /// A text file that does not fit in the memory the process may have
        /// (150 MB under a 200 MB limit) is too large to handle, not damaged,
        /// and the run goes on.
        /// </summary>
        [Test]
        public void RunningOutOfMemoryIsTooLargeAndTheRunGoesOn()
        {
            using (var folder = new TempFolder())
            {
                var b = new PackageBuilder();
                b.AddExport("SoundNodeWave", new PropertyWriter(b.Names).Str("Text", "one").None().ToSerialData());
                b.WriteTo(folder.File("big.upk"));
                using (var text = File.Create(folder.File("big.txt")))
                {
                    // A text file is read whole; its lines are never copied
                    // beside it, so it is the file itself that must not fit.
                    text.Write(new byte[] { 0xEF, 0xBB, 0xBF }, 0, 3);
                    text.SetLength(150 << 20);
                }
                string output = folder.File("output");
                Shell(string.Format("ulimit -v 200000; mono '{0}' '{1}' '{2}' > '{3}'",
                    typeof(Scrivel).Assembly.Location, folder.File("big.txt"), folder.File("next.doc"), output));
                Assert.AreEqual(ToolRun.Banner + "The file big.txt is too large to handle!\r\n"
                    + "The file next.doc is not supported!\r\n..DONE..", File.ReadAllText(output));
            }
        }
    }
}
