// The Linux system calls that reading an input and writing an output safely need.
using System;
using System.Runtime.InteropServices;

namespace tool
{
    /// <summary>
    /// The few system calls that reading an input and writing an output
    /// safely need on Linux: opening without blocking (a FIFO would otherwise
    /// hold the open until a writer comes), the type and size of what was
    /// opened, and reads into a managed buffer; unnamed files, written at a
    /// position, flushed to disk and then given a name. The file status comes
    /// from the runtime's own native helper, whose layout is the same on every
    /// architecture: the mode as a 32-bit value at offset 4, the size, device
    /// and inode as 64-bit values at offsets 16, 88 and 96. The flags are
    /// those of x86-64; elsewhere an unnamed file is refused as unknown
    /// (EINVAL), and the caller takes a named one.
    /// </summary>
    internal static class UnixFileCalls
    {
        private const int ORdOnly = 0, ORdWr = 2, ONonBlock = 0x800, ONoFollow = 0x20000, OCloExec = 0x80000;
        private const int OTmpFile = 0x410000; // __O_TMPFILE | O_DIRECTORY
        private const int AtFdCwd = -100, AtSymlinkFollow = 0x400, AtEmptyPath = 0x1000;
        private const int LockExclusive = 2, LockNonBlocking = 4;
        public const int ENoEnt = 2, EIntr = 4, EWouldBlock = 11, EAccess = 13, EExist = 17, ENotDir = 20;
        private const int StatusBufferBytes = 256;
        private const int ModeTypeMask = 0xF000, ModeRegular = 0x8000;

        [DllImport("libc", EntryPoint = "open", SetLastError = true)]
        private static extern int Open(string path, int flags, int mode);

        [DllImport("libc", EntryPoint = "read", SetLastError = true)]
        private static extern IntPtr Read(int fd, IntPtr buffer, IntPtr count);

        [DllImport("libc", EntryPoint = "close")]
        public static extern int Close(int fd);

        [DllImport("libc", EntryPoint = "pwrite64", SetLastError = true)]
        private static extern IntPtr PWrite(int fd, IntPtr buffer, IntPtr count, long offset);

        [DllImport("libc", EntryPoint = "fsync", SetLastError = true)]
        private static extern int FSync(int fd);

        [DllImport("libc", EntryPoint = "sync_file_range", SetLastError = true)]
        private static extern int SyncFileRange(int fd, long offset, long count, uint flags);

        [DllImport("libc", EntryPoint = "linkat", SetLastError = true)]
        private static extern int LinkAt(int oldFolder, string oldPath, int newFolder, string newPath, int flags);

        [DllImport("libc", EntryPoint = "flock", SetLastError = true)]
        private static extern int Flock(int fd, int operation);

        [DllImport("libc", EntryPoint = "unlink", SetLastError = true)]
        private static extern int Unlink(string path);

        [DllImport("libc", EntryPoint = "chmod", SetLastError = true)]
        public static extern int Chmod(string path, int mode);

        [DllImport("libc", EntryPoint = "fchmod", SetLastError = true)]
        private static extern int FChmod(int fd, int mode);

        /// <summary>Sets the permission bits of the open file; 0, or -1 with errno.</summary>
        public static int Chmod(Descriptor fd, int mode) { return FChmod(fd.Number, mode); }

        [DllImport("System.Native", EntryPoint = "SystemNative_FStat2", SetLastError = true)]
        private static extern int FStat(IntPtr fd, IntPtr status);

        [DllImport("System.Native", EntryPoint = "SystemNative_Stat2", SetLastError = true)]
        private static extern int Stat(string path, IntPtr status);

        /// <summary>What a status says of a file: its type bits, permission bits and size.</summary>
        public struct Status
        {
            public int Mode;
            public long Size;
            public long Device;
            public long Inode;
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
                status.Device = Marshal.ReadInt64(buffer, 88);
                status.Inode = Marshal.ReadInt64(buffer, 96);
                return true;
            }
            finally
            {
                Marshal.FreeHGlobal(buffer);
            }
        }

        /// <summary>
        /// Opens a new file without a name in folder, for writing, with the
        /// permission bits that a new file of the user's gets; null, with
        /// errno, where it cannot be made (no such files there: EOPNOTSUPP,
        /// EISDIR, EINVAL; or any error of creating a file).
        /// </summary>
        public static Descriptor OpenUnnamed(string folder, out int errno)
        {
            int fd = Open(folder, OTmpFile | ORdWr | OCloExec, 0x1B6);
            errno = fd < 0 ? Marshal.GetLastWin32Error() : 0;
            return fd < 0 ? null : new Descriptor(fd);
        }

        private static string ProcPath(Descriptor fd) { return "/proc/self/fd/" + fd.Number; }

        /// <summary>
        /// Whether the descriptor can be named through /proc: its entry there
        /// leads to the very file. Not where /proc is missing or is not the
        /// process's own.
        /// </summary>
        public static bool ReachableThroughProc(Descriptor fd)
        {
            Status open, proc;
            int errno;
            return StatusOf(fd.Number, out open, out errno) && StatusOf(ProcPath(fd), out proc, out errno)
                && open.Device == proc.Device && open.Inode == proc.Inode;
        }

        /// <summary>
        /// Gives the file of the descriptor the name path (never over an
        /// existing one): 0, or the errno (EEXIST when the name is taken).
        /// Through /proc, and where that fails, directly, as privileged
        /// processes may.
        /// </summary>
        public static int Link(Descriptor fd, string path)
        {
            if (LinkAt(AtFdCwd, ProcPath(fd), AtFdCwd, path, AtSymlinkFollow) == 0) return 0;
            int errno = Marshal.GetLastWin32Error();
            if (errno != EExist && LinkAt(fd.Number, "", AtFdCwd, path, AtEmptyPath) == 0) return 0;
            return errno;
        }

        /// <summary>Writes count bytes of source from offset to the file at position; 0, or the errno.</summary>
        public static int WriteAt(Descriptor fd, byte[] source, int offset, int count, long position)
        {
            GCHandle pinned = GCHandle.Alloc(source, GCHandleType.Pinned);
            try
            {
                long start = pinned.AddrOfPinnedObject().ToInt64() + offset;
                while (count > 0)
                {
                    long n = (long)PWrite(fd.Number, new IntPtr(start), new IntPtr(count), position);
                    if (n < 0)
                    {
                        int errno = Marshal.GetLastWin32Error();
                        if (errno == EIntr) continue;
                        return errno;
                    }
                    start += n;
                    position += n;
                    count -= (int)n;
                }
                return 0;
            }
            finally
            {
                pinned.Free();
            }
        }

        private const uint SyncFileRangeWrite = 2;

        /// <summary>
        /// Starts writing count bytes of the file from offset to disk without
        /// waiting for them, so that the flush at the end finds less to do;
        /// false where the system has no such call (nothing is lost then: the
        /// flush still writes everything).
        /// </summary>
        public static bool StartWriteback(Descriptor fd, long offset, long count)
        {
            try
            {
                return SyncFileRange(fd.Number, offset, count, SyncFileRangeWrite) == 0
                    || Marshal.GetLastWin32Error() != 38; // ENOSYS
            }
            catch (Exception e) when (e is DllNotFoundException || e is EntryPointNotFoundException)
            {
                return false;
            }
        }

        /// <summary>Flushes the file's data to disk; 0, or the errno.</summary>
        public static int Sync(Descriptor fd)
        {
            while (FSync(fd.Number) != 0)
            {
                int errno = Marshal.GetLastWin32Error();
                if (errno != EIntr) return errno;
            }
            return 0;
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

    /// <summary>An open descriptor of the process's own, closed when disposed of or, if forgotten, when collected.</summary>
    internal sealed class Descriptor : SafeHandle
    {
        public Descriptor(int fd) : base(new IntPtr(-1), true) { SetHandle(new IntPtr(fd)); }

        public override bool IsInvalid { get { return handle.ToInt64() < 0; } }

        public int Number { get { return handle.ToInt32(); } }

        protected override bool ReleaseHandle() { return UnixFileCalls.Close(handle.ToInt32()) == 0; }
    }
}
