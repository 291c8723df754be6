using System;
using System.Runtime.InteropServices;

namespace tool
{
    /// <summary>
    /// Whether the process's standard output is a terminal that a person
    /// reads, asked of the system itself: a Windows console (a handle that
    /// has a console mode; the NUL device and serial ports do not, though
    /// they too are character devices) or a Unix terminal (isatty). Files,
    /// pipes and anything that cannot be asked count as no terminal.
    /// </summary>
    public static class StandardOutputKind
    {
        private const int StdOutputHandle = -11;

        [DllImport("kernel32.dll")]
        private static extern IntPtr GetStdHandle(int which);

        [DllImport("kernel32.dll")]
        private static extern bool GetConsoleMode(IntPtr handle, out int mode);

        [DllImport("libc", EntryPoint = "isatty")]
        private static extern int UnixIsatty(int descriptor);

        public static bool IsTerminal()
        {
            try
            {
                switch (Environment.OSVersion.Platform)
                {
                    case PlatformID.Win32NT:
                    case PlatformID.Win32Windows:
                        int mode;
                        return GetConsoleMode(GetStdHandle(StdOutputHandle), out mode);
                    case PlatformID.Unix:
                    case PlatformID.MacOSX:
                        return UnixIsatty(1) == 1;
                    default:
                        return false;
                }
            }
            catch (Exception)
            {
                // No such library or entry point: nothing to tell a terminal by.
                return false;
            }
        }
    }
}
