using System;
using System.Collections.Generic;
using System.Diagnostics;
using System.IO;
using System.Text;
using NUnit.Framework;
using tool;

namespace tool.Tests
{
    /// <summary>
    /// Runs the PO tools nobody here wrote (gettext, polib, translate-toolkit,
    /// all installed by scripts/setup.sh); a missing tool fails the test.
    /// </summary>
    public static class PoTools
    {
        public sealed class Result
        {
            public int Exit;
            public byte[] Output;
            public string Errors;
        }

        public static Result Run(string program, params string[] arguments)
        {
            var start = new ProcessStartInfo(program)
            {
                UseShellExecute = false,
                RedirectStandardOutput = true,
                RedirectStandardError = true
            };
            var quoted = new StringBuilder();
            foreach (string a in arguments) quoted.Append(" \"").Append(a.Replace("\\", "\\\\").Replace("\"", "\\\"")).Append('"');
            start.Arguments = quoted.ToString();
            start.EnvironmentVariables["LC_ALL"] = "C.UTF-8";
            using (var process = Process.Start(start))
            {
                var errors = new StringBuilder();
                process.ErrorDataReceived += (s, e) => { if (e.Data != null) lock (errors) errors.AppendLine(e.Data); };
                process.BeginErrorReadLine();
                var output = new MemoryStream();
                process.StandardOutput.BaseStream.CopyTo(output);
                process.WaitForExit();
                lock (errors) return new Result { Exit = process.ExitCode, Output = output.ToArray(), Errors = errors.ToString() };
            }
        }

        /// <summary>Runs the program and requires exit status 0.</summary>
        public static byte[] Ok(string program, params string[] arguments)
        {
            Result r = Run(program, arguments);
            Assert.AreEqual(0, r.Exit, program + " " + string.Join(" ", arguments) + ":\n" + r.Errors);
            return r.Output;
        }

        /// <summary>polib's count of entries and of distinct (msgctxt, msgid) pairs, as "entries pairs".</summary>
        public static string PolibCounts(string file)
        {
            const string script = "import polib, sys\n" +
                "po = polib.pofile(sys.argv[1])\n" +
                "print(len(po), len({(e.msgctxt, e.msgid) for e in po}))\n";
            return Encoding.UTF8.GetString(Ok("/usr/bin/python3", "-c", script, file)).Trim();
        }

        /// <summary>The number of findings of pofilter's escapes, newlines, printf and xmltags tests.</summary>
        public static int PofilterFindings(string file)
        {
            string report = Encoding.UTF8.GetString(Ok("pofilter", "--progress=none",
                "-t", "escapes", "-t", "newlines", "-t", "printf", "-t", "xmltags", file));
            int count = 0;
            for (int at = report.IndexOf("(pofilter)"); at >= 0; at = report.IndexOf("(pofilter)", at + 1)) count++;
            return count;
        }

        /// <summary>Reads PO bytes, requiring them to be accepted.</summary>
        public static PoCatalog Read(byte[] bytes)
        {
            PoCatalog catalog = PoReader.Read(bytes, bytes.Length);
            Assert.IsNull(catalog.Refusal, catalog.Refusal == null ? "" : catalog.Refusal.ToString());
            return catalog;
        }

        /// <summary>Bytes of a string whose characters are all below 256, one byte each (UTF-8 is spelled out).</summary>
        public static byte[] Latin1(string s)
        {
            var b = new byte[s.Length];
            for (int i = 0; i < s.Length; i++) b[i] = checked((byte)s[i]);
            return b;
        }

        /// <summary>An entry as one comparable line: context (or "(none)"), msgid, msgstr, flags, line.</summary>
        public static string Render(PoEntry e)
        {
            return (e.Context ?? "(none)") + "|" + e.Id + "|" + e.Str + (e.Fuzzy ? "|F" : "") + (e.Plural ? "|P" : "") + "@" + e.Line;
        }

        public static string RenderAll(IEnumerable<PoEntry> entries, bool withLines)
        {
            var lines = new List<string>();
            foreach (PoEntry e in entries)
            {
                string r = Render(e);
                lines.Add(withLines ? r : r.Substring(0, r.LastIndexOf('@')));
            }
            return string.Join("\n", lines.ToArray());
        }
    }
}
