using System.Collections.Generic;
using System.Diagnostics;
using System.IO;
using System.Text;
using NUnit.Framework;
using tool;

namespace tool.Tests
{
    /// <summary>
    /// The PO tools nobody here wrote (gettext, polib, translate-toolkit, all
    /// installed by scripts/setup.sh; a missing one fails the test), and
    /// helpers of the PO tests.
    /// </summary>
    public static class PoTools
    {
        /// <summary>Runs the program, requires exit status 0 and returns its standard output.</summary>
        public static byte[] Ok(string program, params string[] arguments)
        {
            var start = new ProcessStartInfo(program) { UseShellExecute = false, RedirectStandardOutput = true, RedirectStandardError = true };
            var quoted = new StringBuilder();
            foreach (string a in arguments) quoted.Append(" \"").Append(a.Replace("\\", "\\\\").Replace("\"", "\\\"")).Append('"');
            start.Arguments = quoted.ToString();
            start.EnvironmentVariables["LC_ALL"] = "C.UTF-8";
            using (var process = Process.Start(start))
            {
                var errors = new StringBuilder();
                process.ErrorDataReceived += (s, e) => { lock (errors) errors.AppendLine(e.Data); };
                process.BeginErrorReadLine();
                var output = new MemoryStream();
                process.StandardOutput.BaseStream.CopyTo(output);
                process.WaitForExit();
                lock (errors) Assert.AreEqual(0, process.ExitCode, program + start.Arguments + ":\n" + errors);
                return output.ToArray();
            }
        }

        /// <summary>polib's count of entries and of distinct (msgctxt, msgid) pairs, as "entries pairs".</summary>
        public static string PolibCounts(string file)
        {
            const string script = "import polib, sys\npo = polib.pofile(sys.argv[1])\n" +
                "print(len(po), len({(e.msgctxt, e.msgid) for e in po}))\n";
            return Encoding.UTF8.GetString(Ok("/usr/bin/python3", "-c", script, file)).Trim();
        }

        /// <summary>The number of findings of pofilter's escapes, newlines, printf and xmltags tests.</summary>
        public static int PofilterFindings(string file)
        {
            string report = Encoding.UTF8.GetString(Ok("pofilter", "--progress=none",
                "-t", "escapes", "-t", "newlines", "-t", "printf", "-t", "xmltags", file));
            return report.Split(new[] { "(pofilter)" }, System.StringSplitOptions.None).Length - 1;
        }

        /// <summary>The entries that pofilter's escapes, newlines, printf and xmltags tests flag.</summary>
        public static List<PoEntry> PofilterFlagged(string file)
        {
            return Read(Ok("pofilter", "--progress=none", "-t", "escapes", "-t", "newlines", "-t", "printf", "-t", "xmltags", file)).Entries;
        }

        /// <summary>polib sets the msgstr of the file's entries, in order, to translations and saves the file.</summary>
        public static void Translate(string file, IList<string> translations)
        {
            var json = new StringBuilder("[");
            foreach (string t in translations)
            {
                json.Append(json.Length > 1 ? ",\"" : "\"");
                foreach (char c in t)
                    json.Append(c < ' ' || c > '~' || c == '"' || c == '\\' ? "\\u" + ((int)c).ToString("x4") : c.ToString());
                json.Append('"');
            }
            File.WriteAllText(file + ".json", json.Append(']').ToString());
            const string script = "import json, polib, sys\npo = polib.pofile(sys.argv[1])\nt = json.load(open(sys.argv[2]))\n" +
                "assert len(t) == len(po)\nfor e, s in zip(po, t): e.msgstr = s\npo.save()\n";
            Ok("/usr/bin/python3", "-c", script, file, file + ".json");
        }

        /// <summary>Reads PO bytes, requiring them to be accepted.</summary>
        public static PoCatalog Read(byte[] bytes)
        {
            PoCatalog catalog = PoReader.Read(bytes, bytes.Length);
            Assert.IsNull(catalog.Refusal, "refused: " + catalog.Refusal);
            return catalog;
        }

        /// <summary>Bytes of a string whose characters are all below 256, one byte each (UTF-8 is spelled out).</summary>
        public static byte[] Latin1(string s)
        {
            var b = new byte[s.Length];
            for (int i = 0; i < s.Length; i++) b[i] = checked((byte)s[i]);
            return b;
        }

        /// <summary>Entries as comparable lines: context (or "(none)") | msgid | msgstr, flags, line.</summary>
        public static string Render(IEnumerable<PoEntry> entries, bool withLines)
        {
            var s = new StringBuilder();
            foreach (PoEntry e in entries)
                s.Append(e.Context ?? "(none)").Append('|').Append(e.Id).Append('|').Append(e.Str)
                 .Append(e.Fuzzy ? "|F" : "").Append(e.Plural ? "|P" : "").Append(withLines ? "@" + e.Line : "").Append(';');
            return s.ToString();
        }
    }
}
