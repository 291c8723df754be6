// The Win32 console calls: the standard output's console handle and writing UTF-16 to it.
using System;
using System.Runtime.InteropServices;

namespace tool
{
    /// <summary>
    /// The few Win32 console calls the tool makes. Only called on Windows
    /// (<see cref="Platform.IsWindows"/>).
    /// </summary>
    public static class WindowsConsoleCalls
    {
        private const int StdOutputHandle = -11;

        [DllImport("kernel32.dll")]
        private static extern IntPtr GetStdHandle(int which);

        [DllImport("kernel32.dll")]
        private static extern bool GetConsoleMode(IntPtr handle, out int mode);

        [DllImport("kernel32.dll", EntryPoint = "WriteConsoleW", CharSet = CharSet.Unicode)]
        private static extern bool WriteConsole(IntPtr handle, char[] text, int count, out int written, IntPtr reserved);

        /// <summary>
        /// The standard output's handle when it is a console (a handle with a
        /// console mode: not a file, a pipe or the NUL device); zero otherwise.
        /// </summary>
        public static IntPtr StandardOutputConsole()
        {
            IntPtr output = GetStdHandle(StdOutputHandle);
            if (output == IntPtr.Zero || output == new IntPtr(-1)) return IntPtr.Zero;
            int mode;
            return GetConsoleMode(output, out mode) ? output : IntPtr.Zero;
        }

        /// <summary>Writes the first count UTF-16 units of text; false when the console took less or refused.</summary>
        public static bool Write(IntPtr console, char[] text, int count)
        {
            int written;
            return WriteConsole(console, text, count, out written, IntPtr.Zero) && written == count;
        }
    }
}
