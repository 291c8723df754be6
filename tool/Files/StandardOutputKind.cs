// Whether the standard output is a terminal, and how wide, asked of the system.
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
                if (Platform.IsWindows) return Console.BufferWidth;
                if (!Platform.IsUnix) return 0;
                var size = new byte[8];
                if (UnixIoctl(1, new UIntPtr(TiocGWinSz), size) != 0) return 0;
                return size[2] | (size[3] << 8);
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
                if (Platform.IsWindows) return WindowsConsoleCalls.StandardOutputConsole() != IntPtr.Zero;
                if (Platform.IsUnix) return UnixIsatty(1) == 1;
                return false;
            }
            catch (Exception)
            {
                // No such library or entry point: nothing to tell a terminal by.
                return false;
            }
        }
    }
}
