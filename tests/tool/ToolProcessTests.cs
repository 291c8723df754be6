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
            string exe = typeof(Scrivel).Assembly.Location;
            var arguments = new StringBuilder("\"" + exe + "\"");
            foreach (string a in args) arguments.Append(" \"").Append(a).Append('"');
            var start = new ProcessStartInfo("mono", arguments.ToString());
            start.UseShellExecute = false;
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
    }
}
