using System;
using System.Collections.Generic;
using System.IO;
using System.Text;

namespace tool.Tests.Fuzz
{
    /// <summary>Faults found by a fuzz run, each naming its case so that it can be replayed.</summary>
    public sealed class FaultList
    {
        private const int Kept = 40;
        private readonly List<string> kept = new List<string>();

        private readonly SortedDictionary<string, int> tally = new SortedDictionary<string, int>(StringComparer.Ordinal);

        public int Count { get; private set; }
        public int Cases;
        /// <summary>The most one run allocated, and the longest one run took.</summary>
        public long PeakAllocated;
        public double PeakMilliseconds;

        /// <summary>Notes the cost of one run, for the summary.</summary>
        public void Measure(ToolOutcome o)
        {
            PeakAllocated = Math.Max(PeakAllocated, o.Allocated);
            PeakMilliseconds = Math.Max(PeakMilliseconds, o.Milliseconds);
        }

        /// <summary>Counts one outcome of a kind, for the summary.</summary>
        public void Tally(string outcome)
        {
            int n;
            tally.TryGetValue(outcome, out n);
            tally[outcome] = n + 1;
        }

        /// <summary>Cases run and the outcomes met, one line.</summary>
        public string Summary()
        {
            var sb = new StringBuilder();
            sb.Append(Cases).Append(" cases; peak allocation ").Append(PeakAllocated / 1024).Append(" KB; slowest run ")
              .Append(PeakMilliseconds.ToString("F0", System.Globalization.CultureInfo.InvariantCulture)).Append(" ms");
            foreach (var pair in tally) sb.Append("; ").Append(pair.Key).Append(' ').Append(pair.Value);
            return sb.ToString();
        }

        public void Add(string caseId, string fault)
        {
            Count++;
            if (kept.Count < Kept) kept.Add(caseId + ": " + fault);
        }

        public string Report()
        {
            var sb = new StringBuilder();
            sb.Append(Count).Append(" fault(s) in ").Append(Cases).Append(" case(s):");
            foreach (string f in kept) sb.Append("\n  ").Append(f);
            return sb.ToString();
        }
    }

    /// <summary>
    /// The invariants every run of the tool must keep, whatever its input:
    /// no exception but the tool's own, no stack trace on the console, no
    /// hang, no allocation out of proportion to the input, and nothing
    /// written unless success is reported, in which case only the one
    /// output file changes.
    /// </summary>
    public static class FuzzChecks
    {
        /// <summary>Allocation a run may make: a fixed allowance plus a multiple of its input.</summary>
        public static long AllocationBound(long inputBytes)
        {
            return 16L * 1024 * 1024 + 20L * inputBytes;
        }

        public static void Common(string caseId, ToolOutcome o, long inputBytes, FaultList faults, params Type[] allowed)
        {
            faults.Measure(o);
            if (o.TimedOut)
                faults.Add(caseId, "no result within " + ToolCase.TimeoutMilliseconds + " ms");
            if (o.Escaped != null && Array.IndexOf(allowed, o.Escaped.GetType()) < 0)
                faults.Add(caseId, "unexpected " + o.Escaped.GetType().Name + ": " + o.Escaped.Message + " at " + FirstFrame(o.Escaped));
            if (o.Output.Contains("Exception") || o.Output.Contains("   at "))
                faults.Add(caseId, "stack trace or exception text on the console: " + Excerpt(o.Output));
            if (o.Allocated > AllocationBound(inputBytes))
                faults.Add(caseId, "allocated " + o.Allocated + " bytes for " + inputBytes + " bytes of input");
        }

        /// <summary>Extraction of folder/name: only the text file may change, and only on success.</summary>
        public static void Extraction(string caseId, string folder, string upkName, ToolOutcome o,
            FolderSnapshot before, long inputBytes, FaultList faults)
        {
            Common(caseId, o, inputBytes, faults, typeof(DamagedPackageException));
            string txtName = Path.GetFileNameWithoutExtension(upkName) + ".txt";
            bool success = o.Output.Contains("Text File " + upkName + " successfully extracted!\r\n");
            Outputs(caseId, folder, txtName, success && o.Escaped == null, before, faults);
            if (success && o.Escaped != null)
                faults.Add(caseId, "success reported, then " + o.Escaped.GetType().Name);
            if (success)
            {
                byte[] text = File.ReadAllBytes(Path.Combine(folder, txtName));
                if (text.Length < 4 || text[0] != 0xFF || text[1] != 0xFE || text.Length % 2 != 0)
                    faults.Add(caseId, "text file written without its mark or with an odd length");
            }
        }

        /// <summary>Import of folder/name.txt: only name.upk.clxi may change, and only on success.</summary>
        public static bool Import(string caseId, string folder, string txtName, ToolOutcome o,
            FolderSnapshot before, long inputBytes, FaultList faults)
        {
            Common(caseId, o, inputBytes, faults, typeof(DamagedPackageException), typeof(AdditionalDataException));
            string stem = Path.GetFileNameWithoutExtension(txtName);
            bool success = o.Output.Contains("File " + stem + ".clxi compiled successfully!\r\n");
            Outputs(caseId, folder, stem + ".upk.clxi", success && o.Escaped == null, before, faults);
            if (success && o.Escaped != null)
                faults.Add(caseId, "success reported, then " + o.Escaped.GetType().Name);
            return success && o.Escaped == null;
        }

        /// <summary>A whole run through Main: the closing mark, unless the additional-data error ended it.</summary>
        public static void Main(string caseId, ToolOutcome o, long inputBytes, FaultList faults)
        {
            Common(caseId, o, inputBytes, faults);
            string error = Messages.AdditionalDataError + "\r\n";
            if (o.Output.Contains(error))
            {
                if (!o.Output.EndsWith(error))
                    faults.Add(caseId, "output goes on after the additional-data error: " + Excerpt(o.Output));
            }
            else if (!o.Output.EndsWith(Messages.Done))
            {
                faults.Add(caseId, "run does not end with the closing mark: " + Excerpt(o.Output));
            }
        }

        private static void Outputs(string caseId, string folder, string outputName, bool success,
            FolderSnapshot before, FaultList faults)
        {
            FolderSnapshot after = FolderSnapshot.Take(folder);
            foreach (string changed in after.ChangedSince(before))
            {
                if (success && changed == outputName)
                {
                    if (!after.Files.ContainsKey(outputName))
                        faults.Add(caseId, "success reported but " + outputName + " is missing");
                    continue;
                }
                faults.Add(caseId, (success ? "besides " + outputName + ", " : "nothing reported written, yet ")
                    + changed + " changed");
            }
            if (success && !after.Files.ContainsKey(outputName))
                faults.Add(caseId, "success reported but " + outputName + " is missing");
        }

        private static string FirstFrame(Exception e)
        {
            string trace = e.StackTrace ?? "";
            int end = trace.IndexOf('\n');
            return (end < 0 ? trace : trace.Substring(0, end)).Trim();
        }

        public static string Excerpt(string output)
        {
            string s = output.Replace("\r\n", " | ");
            return s.Length <= 300 ? s : "..." + s.Substring(s.Length - 300);
        }
    }
}
