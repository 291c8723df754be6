// The terminal the progress bar draws on, chosen once from the platform and the standard output.
using System;

namespace tool
{
    /// <summary>
    /// The terminal that the progress bar draws on: chosen once from the
    /// platform and the standard output, or set by a test.
    /// </summary>
    public static class Terminal
    {
        private static ITerminal current;

        public static ITerminal Current
        {
            get
            {
                if (current == null) current = ChooseForThisProcess();
                return current;
            }
        }

        /// <summary>Draws on the given terminal from now on (null: choose again).</summary>
        public static void Use(ITerminal terminal)
        {
            current = terminal;
        }

        /// <summary>
        /// Columns that the widest progress line takes: the longer label, then
        /// the bar and its percentage. In a narrower window the bar would wrap
        /// onto a new row with every redraw.
        /// </summary>
        public static int ColumnsForTheBar
        {
            get
            {
                int label = Math.Max(ProgressReport.LeftColumn(Messages.ExtractionLabel),
                    ProgressReport.LeftColumn(Messages.ImportLabel));
                return label + ProgressReport.BarColumns;
            }
        }

        /// <summary>
        /// Windows: the console, unless the output is redirected. Elsewhere:
        /// escape sequences when the output is a terminal that is not "dumb".
        /// Anything else, and a window of fewer columns than the bar needs
        /// (columns 0: not known), gets no bar.
        /// </summary>
        public static ITerminal Choose(bool windows, bool outputRedirected, string term, int columns)
        {
            if (outputRedirected) return new PlainTerminal();
            if (columns > 0 && columns < ColumnsForTheBar) return new PlainTerminal();
            if (windows) return new WindowsConsoleTerminal();
            if (term == "dumb") return new PlainTerminal();
            return new AnsiTerminal();
        }

        private static ITerminal ChooseForThisProcess()
        {
            bool windows = Platform.IsWindows;
            bool redirected;
            string term;
            int columns;
            try
            {
                redirected = !StandardOutputKind.IsTerminal();
                term = Environment.GetEnvironmentVariable("TERM");
                columns = redirected ? 0 : StandardOutputKind.Columns();
            }
            catch (Exception)
            {
                // Whatever cannot be asked is treated as no console at all.
                return new PlainTerminal();
            }
            return Choose(windows, redirected, term, columns);
        }
    }
}
