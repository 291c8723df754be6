using System;
using System.Collections.Generic;
using System.IO;
using System.Text;

namespace tool.Tests.Fuzz
{
    /// <summary>Steps shared by the fuzz families: run a tool operation in a folder and check what it left.</summary>
    public static class FuzzSteps
    {
        /// <summary>Bytes that no run of the tool writes, placed where an earlier output would stand.</summary>
        public static readonly byte[] Sentinel = Encoding.ASCII.GetBytes("earlier output, must stay unless replaced whole");

        /// <summary>Extracts folder/name.upk; true when the text file was written.</summary>
        public static bool Extract(string caseId, string folder, string upkName, FaultList faults)
        {
            string upk = Path.Combine(folder, upkName);
            FolderSnapshot before = FolderSnapshot.Take(folder);
            ToolOutcome o = ToolCase.Extract(upk);
            FuzzChecks.Extraction(caseId, folder, upkName, o, before, new FileInfo(upk).Length, faults);
            faults.Tally("extraction " + Outcome(o));
            return o.Escaped == null && o.Output.Contains("Text File " + upkName + " successfully extracted!\r\n");
        }

        /// <summary>Imports folder/name.txt; true when the compiled package was written.</summary>
        public static bool Import(string caseId, string folder, string txtName, FaultList faults)
        {
            string output;
            return Import(caseId, folder, txtName, faults, out output);
        }

        /// <summary>Imports folder/name.txt; true when the compiled package was written; output is what was printed.</summary>
        public static bool Import(string caseId, string folder, string txtName, FaultList faults, out string output)
        {
            string txt = Path.Combine(folder, txtName);
            string upk = Path.Combine(folder, Path.GetFileNameWithoutExtension(txtName) + ".upk");
            FolderSnapshot before = FolderSnapshot.Take(folder);
            ToolOutcome o = ToolCase.Import(txt);
            output = o.Output;
            faults.Tally("import " + Outcome(o));
            long input = new FileInfo(txt).Length + (File.Exists(upk) ? new FileInfo(upk).Length : 0);
            return FuzzChecks.Import(caseId, folder, txtName, o, before, input, faults);
        }

        /// <summary>Runs Main over the given files, checking the run as a whole.</summary>
        public static void Main(string caseId, FaultList faults, params string[] paths)
        {
            long input = 0;
            foreach (string p in paths) input += File.Exists(p) ? new FileInfo(p).Length : 0;
            ToolOutcome o = ToolCase.Run(delegate() { Scrivel.Main(paths); });
            FuzzChecks.Main(caseId, o, input, faults);
        }

        /// <summary>A short name for how a run ended, for the summary.</summary>
        private static string Outcome(ToolOutcome o)
        {
            if (o.Escaped != null) return o.Escaped.GetType().Name;
            string[] known =
            {
                "successfully extracted", "compiled successfully", "without text", "There is no text",
                "not supported", "Unsupported Game", "compressed", "fewer lines", "could not be written", "was not found",
                "is damaged",
            };
            foreach (string k in known)
                if (o.Output.Contains(k)) return "'" + k + "'";
            return "other";
        }

        /// <summary>The unescaped lines of folder/name.</summary>
        public static List<string> ReadValues(string path)
        {
            var values = new List<string>();
            foreach (string line in TextFiles.Lines(File.ReadAllBytes(path))) values.Add(TextFile.UnescapeLine(line));
            return values;
        }

        /// <summary>Faults for every difference between two lists of line values.</summary>
        public static void CompareLines(string caseId, string what, List<string> expected, List<string> actual, FaultList faults)
        {
            if (expected.Count != actual.Count)
            {
                faults.Add(caseId, what + ": " + actual.Count + " lines, expected " + expected.Count);
                return;
            }
            for (int i = 0; i < expected.Count; i++)
            {
                if (!SameText(expected[i], actual[i]))
                {
                    faults.Add(caseId, what + ": line " + i + " is \"" + Visible(actual[i]) + "\", expected \"" + Visible(expected[i]) + "\"");
                    return;
                }
            }
        }

        /// <summary>
        /// Equal, except that an unpaired surrogate in a line may come back as
        /// U+FFFD: import stores a line through a UTF-16 encoder, which may
        /// replace code units that are no characters.
        /// </summary>
        public static bool SameText(string expected, string actual)
        {
            if (expected == actual) return true;
            if (expected.Length != actual.Length) return false;
            for (int i = 0; i < expected.Length; i++)
            {
                if (expected[i] == actual[i]) continue;
                if (actual[i] != '\uFFFD' || !IsUnpairedSurrogate(expected, i)) return false;
            }
            return true;
        }

        private static bool IsUnpairedSurrogate(string s, int i)
        {
            if (char.IsHighSurrogate(s[i])) return i + 1 >= s.Length || !char.IsLowSurrogate(s[i + 1]);
            if (char.IsLowSurrogate(s[i])) return i == 0 || !char.IsHighSurrogate(s[i - 1]);
            return false;
        }

        /// <summary>Extracts a compiled package (copied as a package of its own) and compares its lines.</summary>
        public static void ExtractCompiled(string caseId, string folder, byte[] compiled, List<string> expected, FaultList faults)
        {
            string again = Path.Combine(folder, "again");
            Directory.CreateDirectory(again);
            File.WriteAllBytes(Path.Combine(again, "Compiled.upk"), compiled);
            if (!Extract(caseId + " (compiled)", again, "Compiled.upk", faults))
            {
                if (expected.Count > 0) faults.Add(caseId, "the compiled package gives no text file");
                return;
            }
            CompareLines(caseId, "compiled package", expected, ReadValues(Path.Combine(again, "Compiled.txt")), faults);
        }

        /// <summary>The lines of a text file for the generated package, as extraction writes them.</summary>
        public static List<string> FileLines(GeneratedPackage g)
        {
            var lines = new List<string>();
            foreach (string v in g.Lines) lines.Add(TextFile.EscapeLine(v));
            return lines;
        }

        public static string Visible(string s)
        {
            var sb = new StringBuilder();
            foreach (char c in s)
            {
                if (c < 0x20 || (c >= 0xD800 && c <= 0xDFFF) || c > 0x7E) sb.Append("\\u").Append(((int)c).ToString("X4"));
                else sb.Append(c);
            }
            return sb.Length > 120 ? sb.ToString(0, 120) + "..." : sb.ToString();
        }
    }
}
