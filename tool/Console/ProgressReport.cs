// Progress over an export table: the label, the bar redrawn when its percentage changes, the closing line break.
namespace tool
{
    /// <summary>
    /// Progress over the entries of an export table, shared by extraction and
    /// import: the label (no line break), then before each entry the
    /// percentage of entries done counting that one, drawn only when it
    /// changes, and a line break once all entries are done.
    /// <code>
    /// var progress = ProgressReport.Start(Messages.ExtractionLabel, exports.Count);
    /// for (int k = 0; k &lt; exports.Count; k++) { progress.BeforeEntry(k); ... }
    /// progress.Finish();
    /// </code>
    /// </summary>
    public sealed class ProgressReport
    {
        /// <summary>Columns from the label's end to the end of "100%": the bar reaches left + 38.</summary>
        public const int BarColumns = 39;

        private readonly int left;
        private readonly int count;
        private int lastDrawn = -1;

        private ProgressReport(int left, int count)
        {
            this.left = left;
            this.count = count;
        }

        /// <summary>Writes the label and returns the report for count entries.</summary>
        public static ProgressReport Start(string label, int count)
        {
            ConsoleOut.Write(label);
            return new ProgressReport(LeftColumn(label), count);
        }

        /// <summary>The label's length without its leading CR and LF characters.</summary>
        public static int LeftColumn(string label)
        {
            int start = 0;
            while (start < label.Length && (label[start] == '\r' || label[start] == '\n')) start++;
            return label.Length - start;
        }

        /// <summary>The percentage shown before entry index: ((index + 1) * 100) / count, truncated.</summary>
        public static int Percentage(int index, int count)
        {
            // 64-bit so that tables of more than 21 million entries cannot overflow.
            return (int)(((long)index + 1) * 100 / count);
        }

        /// <summary>Before working on entry index (from 0): redraws the bar if the percentage changed.</summary>
        public void BeforeEntry(int index)
        {
            if (count <= 0) return;
            int percentage = Percentage(index, count);
            if (percentage == lastDrawn) return;
            ProgressBar.Draw(Terminal.Current, left, percentage, 100);
            lastDrawn = percentage;
        }

        /// <summary>Ends the progress line, with the user's colours back if a bar was drawn.</summary>
        public void Finish()
        {
            if (lastDrawn >= 0) Terminal.Current.ResetColours();
            ConsoleOut.WriteLine("");
        }
    }
}
