using System;
using System.IO;
using System.Text;

namespace tool
{
    /// <summary>
    /// The tool's one way to the console: UTF-8 without a byte-order mark,
    /// lines ended by CR LF whatever the platform. Tests may point it at a
    /// writer of their own.
    /// </summary>
    public static class ConsoleOut
    {
        private static TextWriter writer;

        public static TextWriter Writer
        {
            get
            {
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

        /// <summary>Sends all output to the given writer (null: back to standard output).</summary>
        public static void Redirect(TextWriter target)
        {
            writer = target;
        }

        public static void Write(string text)
        {
            Writer.Write(text);
        }

        public static void WriteLine(string text)
        {
            Writer.Write(text);
            Writer.Write("\r\n");
        }
    }
}
