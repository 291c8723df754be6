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
        /// Windows: the console, unless the output is redirected. Elsewhere:
        /// escape sequences when the output is a terminal that is not "dumb".
        /// Anything else gets no bar.
        /// </summary>
        public static ITerminal Choose(bool windows, bool outputRedirected, string term)
        {
            if (outputRedirected) return new PlainTerminal();
            if (windows) return new WindowsConsoleTerminal();
            if (term == "dumb") return new PlainTerminal();
            return new AnsiTerminal();
        }

        private static ITerminal ChooseForThisProcess()
        {
            bool windows = Environment.OSVersion.Platform == PlatformID.Win32NT
                || Environment.OSVersion.Platform == PlatformID.Win32Windows;
            bool redirected;
            string term;
            try
            {
                redirected = !StandardOutputKind.IsTerminal();
                term = Environment.GetEnvironmentVariable("TERM");
            }
            catch (Exception)
            {
                // Whatever cannot be asked is treated as no console at all.
                return new PlainTerminal();
            }
            return Choose(windows, redirected, term);
        }
    }
}
