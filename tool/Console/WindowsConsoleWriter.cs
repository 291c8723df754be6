// A writer that hands text to a Windows console as UTF-16.
using System;
using System.IO;
using System.Text;

namespace tool
{
    /// <summary>
    /// Text for a Windows console, handed to it as UTF-16 (WriteConsoleW):
    /// the console then shows the characters themselves whatever its code
    /// page, where UTF-8 bytes would be shown one by one as code-page
    /// characters. Only for an output handle that is a console; files and
    /// pipes keep getting UTF-8 bytes.
    /// </summary>
    public sealed class WindowsConsoleWriter : TextWriter
    {
        // Older consoles refuse a single write much above 64 KB.
        private const int MaxCharsPerCall = 8192;

        private readonly IntPtr handle;
        private char[] buffer = new char[256];

        private WindowsConsoleWriter(IntPtr handle)
        {
            this.handle = handle;
            NewLine = "\r\n";
        }

        /// <summary>
        /// A writer for the standard output when it is a console; null when it
        /// is anything else or cannot be asked (not Windows, no handle).
        /// </summary>
        public static WindowsConsoleWriter ForStandardOutput()
        {
            try
            {
                IntPtr console = WindowsConsoleCalls.StandardOutputConsole();
                return console == IntPtr.Zero ? null : new WindowsConsoleWriter(console);
            }
            catch (Exception)
            {
                // No kernel32 (not Windows) or no such entry point.
                return null;
            }
        }

        public override Encoding Encoding { get { return Encoding.Unicode; } }

        public override void Write(char value)
        {
            buffer[0] = value;
            Send(buffer, 1);
        }

        public override void Write(string value)
        {
            if (value == null) return;
            int start = 0;
            while (start < value.Length)
            {
                int count = Math.Min(MaxCharsPerCall, value.Length - start);
                // A surrogate pair is not split between two calls.
                if (start + count < value.Length && count > 1 && char.IsHighSurrogate(value[start + count - 1]))
                    count--;
                if (buffer.Length < count) buffer = new char[Math.Max(count, buffer.Length * 2)];
                value.CopyTo(start, buffer, 0, count);
                Send(buffer, count);
                start += count;
            }
        }

        public override void Write(char[] chars, int index, int count)
        {
            Write(new string(chars, index, count));
        }

        /// <summary>A console that refuses the text has gone away: reported as an I/O failure.</summary>
        private void Send(char[] text, int count)
        {
            if (!WindowsConsoleCalls.Write(handle, text, count))
                throw new IOException("the console refused the text");
        }
    }
}
