// The tool's one way to the console: UTF-8, CR LF line ends, a broken console dropped.
using System;
using System.IO;
using System.Text;

namespace tool
{
    /// <summary>
    /// The tool's one way to the console: UTF-8 without a byte-order mark,
    /// lines ended by CR LF whatever the platform; a Windows console gets the
    /// same text as UTF-16. Tests may point it at a
    /// writer of their own.
    ///
    /// The console is only a report: once writing to it fails (a pipe whose
    /// reader has gone, a full disk behind a redirection) the rest of the
    /// output is dropped and the work on the files goes on as if it had been
    /// shown.
    /// </summary>
    public static class ConsoleOut
    {
        private static TextWriter writer;
        private static bool atLineStart = true;
        private static bool broken;
        private static bool? terminal;  // null: not yet asked of the standard output

        /// <summary>True when nothing has been written since the last line break.</summary>
        public static bool AtLineStart { get { return atLineStart; } }

        public static TextWriter Writer
        {
            get
            {
                if (writer == null) writer = OnWindowsConsole();
                if (writer == null)
                {
                    var stream = Console.OpenStandardOutput();
                    var w = new StreamWriter(stream, new UTF8Encoding(false));
                    w.NewLine = "\r\n";
                    w.AutoFlush = true;
                    writer = w;
                }
                return writer;
            }
        }

        /// <summary>
        /// A Windows console shows bytes in its own code page, not as UTF-8:
        /// it is given the text as UTF-16 instead.
        /// </summary>
        private static TextWriter OnWindowsConsole()
        {
            if (!Platform.IsWindows) return null;
            return WindowsConsoleWriter.ForStandardOutput();
        }

        /// <summary>
        /// True when the output is a terminal that a person reads; a file or
        /// a pipe is not.
        /// </summary>
        public static bool IsTerminal
        {
            get
            {
                if (terminal == null) terminal = StandardOutputKind.IsTerminal();
                return terminal.Value;
            }
        }

        /// <summary>
        /// Sends all output to the given writer, taken for a terminal or not
        /// (null: back to standard output, which is asked).
        /// </summary>
        public static void Redirect(TextWriter target, bool isTerminal = false)
        {
            writer = target;
            terminal = target == null ? (bool?)null : isTerminal;
            atLineStart = true;
            broken = false;
        }

        public static void Write(string text)
        {
            Send(text);
            if (!string.IsNullOrEmpty(text)) atLineStart = text[text.Length - 1] == '\n';
        }

        /// <summary>
        /// Writes the run's last text. On a terminal a line break follows, so
        /// that the shell's prompt starts a line of its own; a file or a pipe
        /// gets the text alone, as it always has.
        /// </summary>
        public static void WriteLast(string text)
        {
            if (IsTerminal) WriteLine(text);
            else Write(text);
        }

        public static void WriteLine(string text)
        {
            Send(text + "\r\n");
            atLineStart = true;
        }

        private static void Send(string text)
        {
            if (broken) return;
            try
            {
                Writer.Write(text);
            }
            catch (IOException)
            {
                broken = true;
            }
            catch (ObjectDisposedException)
            {
                broken = true;
            }
        }
    }
}
