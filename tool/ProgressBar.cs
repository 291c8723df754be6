namespace tool
{
    public static partial class Scrivel
    {
        /// <summary>
        /// Draws the bar on the cursor's row: "|" at left + 1, 31 cells from
        /// left + 2 to left + 32, "|" at left + 33 and "value%" from left + 35.
        /// The first cells are shaded on white in proportion to value / total,
        /// the rest blank on black. Callers pass a total above 0 and a value
        /// from 0 to the total.
        /// </summary>
        public static void progressBar(int left, int value, int total)
        {
            ITerminal terminal = Terminal.Current;
            terminal.SetCursorVisible(false);
            terminal.MoveToColumn(left + 1);
            terminal.Write("|");
            terminal.MoveToColumn(left + 33);
            terminal.Write("|");

            // Single precision on purpose: 30 / 100 rounds to slightly above
            // 0.3, so a full bar fills all 31 cells.
            float ratio = (float)(30.0f / (float)total);
            double filled = (double)ratio * value;
            int f = 0;
            while (f < filled)
            {
                terminal.SetBackground(15);
                terminal.MoveToColumn(left + 2 + f);
                terminal.Write("\u2592");
                f++;
            }
            for (int column = left + 2 + f; column <= left + 32; column++)
            {
                terminal.SetBackground(0);
                terminal.MoveToColumn(column);
                terminal.Write(" ");
            }

            terminal.MoveToColumn(left + 35);
            terminal.SetBackground(0);
            terminal.Write(value + "%");
            terminal.SetCursorVisible(true);
        }
    }

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
            Scrivel.progressBar(left, percentage, 100);
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
