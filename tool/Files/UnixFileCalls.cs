// The Linux system calls that reading an input safely needs.
using System;
using System.Runtime.InteropServices;

namespace tool
{
    /// <summary>
    /// The few system calls that reading an input safely needs on Linux:
    /// opening without blocking (a FIFO would otherwise hold the open until
    /// a writer comes), the type and size of what was opened, and reads into
    /// a managed buffer. The file status comes from the runtime's own native
    /// helper, whose layout is the same on every architecture: the mode as a
    /// 32-bit value at offset 4, the size as a 64-bit value at offset 16.
    /// </summary>
    internal static class UnixFileCalls
    {
        private const int ORdOnly = 0, ONonBlock = 0x800, ONoFollow = 0x20000, OCloExec = 0x80000;
        private const int LockExclusive = 2, LockNonBlocking = 4;
        public const int ENoEnt = 2, EIntr = 4, EWouldBlock = 11, ENotDir = 20;
        private const int StatusBufferBytes = 256;
        private const int ModeTypeMask = 0xF000, ModeRegular = 0x8000;

        [DllImport("libc", EntryPoint = "open", SetLastError = true)]
        private static extern int Open(string path, int flags, int mode);

        [DllImport("libc", EntryPoint = "read", SetLastError = true)]
        private static extern IntPtr Read(int fd, IntPtr buffer, IntPtr count);

        [DllImport("libc", EntryPoint = "close")]
        public static extern int Close(int fd);

        [DllImport("libc", EntryPoint = "flock", SetLastError = true)]
        private static extern int Flock(int fd, int operation);

        [DllImport("libc", EntryPoint = "unlink", SetLastError = true)]
        private static extern int Unlink(string path);

        [DllImport("libc", EntryPoint = "chmod", SetLastError = true)]
        public static extern int Chmod(string path, int mode);

        [DllImport("System.Native", EntryPoint = "SystemNative_FStat2", SetLastError = true)]
        private static extern int FStat(IntPtr fd, IntPtr status);

        [DllImport("System.Native", EntryPoint = "SystemNative_Stat2", SetLastError = true)]
        private static extern int Stat(string path, IntPtr status);

        /// <summary>What a status says of a file: its type bits, permission bits and size.</summary>
        public struct Status
        {
            public int Mode;
            public long Size;
            public bool IsRegular { get { return (Mode & ModeTypeMask) == ModeRegular; } }
            public int PermissionBits { get { return Mode & 0x1FF; } }
        }

        /// <summary>Opens for reading without blocking; the descriptor, or -1 with errno.</summary>
        public static int OpenForReading(string path, out int errno)
        {
            int fd = Open(path, ORdOnly | ONonBlock | OCloExec, 0);
            errno = fd < 0 ? Marshal.GetLastWin32Error() : 0;
            return fd;
        }

        /// <summary>
        /// Takes the exclusive lock of the open file without waiting: true
        /// when taken; false with heldElsewhere when another open of the file
        /// holds it, without when the file system has no such locks. Held
        /// until the descriptor closes, however the process ends.
        /// </summary>
        public static bool TryLock(int fd, out bool heldElsewhere)
        {
            heldElsewhere = false;
            if (Flock(fd, LockExclusive | LockNonBlocking) == 0) return true;
            heldElsewhere = Marshal.GetLastWin32Error() == EWouldBlock;
            return false;
        }

        private static bool TryLock(int fd)
        {
            bool heldElsewhere;
            return TryLock(fd, out heldElsewhere);
        }

        /// <summary>
        /// Whether the file at path (not followed if a link) is one whose lock
        /// another open holds, as a temporary file's writer holds it while
        /// it writes. A file that cannot be opened or locked counts as held.
        /// </summary>
        public static bool IsLockedElsewhere(string path)
        {
            int fd = Open(path, ORdOnly | ONonBlock | ONoFollow | OCloExec, 0);
            if (fd < 0) return Marshal.GetLastWin32Error() != ENoEnt;
            try
            {
                bool heldElsewhere;
                return !TryLock(fd, out heldElsewhere) && heldElsewhere;
            }
            finally { Close(fd); }
        }

        /// <summary>
        /// Removes the file at path if nobody holds its lock, holding the lock
        /// while it removes it, so that a writer that locks it after this
        /// look finds its lock refused. False when it stays.
        /// </summary>
        public static bool RemoveIfUnlocked(string path)
        {
            int fd = Open(path, ORdOnly | ONonBlock | ONoFollow | OCloExec, 0);
            if (fd < 0) return false;
            try { return TryLock(fd) && Unlink(path) == 0; }
            finally { Close(fd); }
        }

        /// <summary>The status of an open descriptor; false with errno when it cannot be asked.</summary>
        public static bool StatusOf(int fd, out Status status, out int errno)
        {
            return Ask(buffer => FStat((IntPtr)fd, buffer), out status, out errno);
        }

        /// <summary>The status of the file a path leads to, links followed.</summary>
        public static bool StatusOf(string path, out Status status, out int errno)
        {
            return Ask(buffer => Stat(path, buffer), out status, out errno);
        }

        private static bool Ask(Func<IntPtr, int> call, out Status status, out int errno)
        {
            IntPtr buffer = Marshal.AllocHGlobal(StatusBufferBytes);
            try
            {
                status = new Status();
                if (call(buffer) != 0)
                {
                    errno = Marshal.GetLastWin32Error();
                    return false;
                }
                errno = 0;
                status.Mode = Marshal.ReadInt32(buffer, 4);
                status.Size = Marshal.ReadInt64(buffer, 16);
                return true;
            }
            finally
            {
                Marshal.FreeHGlobal(buffer);
            }
        }

        /// <summary>
        /// Reads into target from offset until it is full or the file ends;
        /// the number of bytes read, or -1 on an error other than an
        /// interrupted call.
        /// </summary>
        public static long ReadInto(int fd, byte[] target, long offset, long count)
        {
            GCHandle pinned = GCHandle.Alloc(target, GCHandleType.Pinned);
            try
            {
                IntPtr start = pinned.AddrOfPinnedObject();
                long done = 0;
                while (done < count)
                {
                    long chunk = Math.Min(count - done, 1L << 30);
                    long n = (long)Read(fd, new IntPtr(start.ToInt64() + offset + done), new IntPtr(chunk));
                    if (n < 0)
                    {
                        if (Marshal.GetLastWin32Error() == EIntr) continue;
                        return -1;
                    }
                    if (n == 0) break;
                    done += n;
                }
                return done;
            }
            finally
            {
                pinned.Free();
            }
        }
    }
}
