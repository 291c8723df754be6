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

        [DllImport("libc", EntryPoint = "ioctl")]
        private static extern int UnixIoctl(int descriptor, UIntPtr request, [In, Out] byte[] argument);

        // Linux: the window size of a terminal, four 16-bit values (rows, columns, pixels).
        private const uint TiocGWinSz = 0x5413;

        /// <summary>
        /// The width in columns of the terminal or console that the standard
        /// output shows in; 0 when it cannot be told.
        /// </summary>
        public static int Columns()
        {
            try
            {
                switch (Environment.OSVersion.Platform)
                {
                    case PlatformID.Win32NT:
                    case PlatformID.Win32Windows:
                        return Console.BufferWidth;
                    case PlatformID.Unix:
                        var size = new byte[8];
                        if (UnixIoctl(1, new UIntPtr(TiocGWinSz), size) != 0) return 0;
                        return size[2] | (size[3] << 8);
                    default:
                        return 0;
                }
            }
            catch (Exception)
            {
                return 0;
            }
        }

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
