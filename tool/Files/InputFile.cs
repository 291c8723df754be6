// Reading an input file whole into memory, regular files only.
using System;
using System.IO;
using System.Runtime.InteropServices;

namespace tool
{
    /// <summary>
    /// Reading an input (a package or a text file) whole into memory, as the
    /// tool reads every input. Only regular files are taken: a FIFO, a
    /// device, a socket or a folder is refused without ever blocking on it.
    /// A file is read at the size it had when opened; one that ends sooner
    /// or goes on beyond it changed while being read and is refused too.
    /// </summary>
    public static class InputFile
    {
        /// <summary>The largest input: offsets and sizes in packages are signed 32-bit, and so are array lengths.</summary>
        public const long MaxLength = int.MaxValue;

        public enum Kind { Missing, Regular, NotRegular }

        /// <summary>What the path leads to (links followed) and, for a regular file, its length.</summary>
        public static Kind Probe(string path, out long length)
        {
            length = 0;
            try
            {
                if (Platform.IsUnix)
                {
                    UnixFileCalls.Status status;
                    int errno;
                    if (!UnixFileCalls.StatusOf(path, out status, out errno)) return Kind.Missing;
                    length = status.Size;
                    return status.IsRegular ? Kind.Regular : Kind.NotRegular;
                }
            }
            catch (Exception e) when (e is DllNotFoundException || e is EntryPointNotFoundException) { }
            if (Directory.Exists(path)) return Kind.NotRegular;
            var info = new FileInfo(path);
            if (!info.Exists) return Kind.Missing;
            length = info.Length;
            return Kind.Regular;
        }

        private static RefusalException Refused(Refusal reason, string path, string name)
        {
            return new RefusalException(reason, reason + ": " + path, name);
        }

        /// <summary>
        /// The bytes of the regular file at path. Otherwise raises a
        /// <see cref="RefusalException"/> for the file named name:
        /// not found, not supported (not a regular file), too large to
        /// handle, or could not be read (no permission, an I/O error, a size
        /// that changed while it was read).
        /// </summary>
        public static byte[] ReadWhole(string path, string name)
        {
            if (Platform.IsUnix)
            {
                try
                {
                    return ReadUnix(path, name);
                }
                catch (Exception e) when (e is DllNotFoundException || e is EntryPointNotFoundException) { }
            }
            return ReadManaged(path, name);
        }

        private static byte[] ReadUnix(string path, string name)
        {
            int errno;
            int fd = UnixFileCalls.OpenForReading(path, out errno);
            if (fd < 0)
            {
                if (errno == UnixFileCalls.ENoEnt || errno == UnixFileCalls.ENotDir)
                    throw Refused(Refusal.NotFound, path, name);
                // A socket cannot be opened at all (ENXIO); every other
                // refusal is one of reading.
                UnixFileCalls.Status status;
                if (UnixFileCalls.StatusOf(path, out status, out errno) && !status.IsRegular)
                    throw Refused(Refusal.NotSupported, path, name);
                throw Refused(Refusal.CouldNotRead, path, name);
            }
            try
            {
                UnixFileCalls.Status status;
                if (!UnixFileCalls.StatusOf(fd, out status, out errno))
                    throw Refused(Refusal.CouldNotRead, path, name);
                if (!status.IsRegular)
                    throw Refused(Refusal.NotSupported, path, name);
                byte[] bytes = Allocate(status.Size, path, name);
                if (UnixFileCalls.ReadInto(fd, bytes, 0, bytes.Length) != bytes.Length
                    || UnixFileCalls.ReadInto(fd, new byte[1], 0, 1) != 0)
                    throw Refused(Refusal.CouldNotRead, path, name);
                return bytes;
            }
            finally
            {
                UnixFileCalls.Close(fd);
            }
        }

        /// <summary>Through the runtime's streams, where the system calls above are not at hand (Windows).</summary>
        private static byte[] ReadManaged(string path, string name)
        {
            if (Directory.Exists(path)) throw Refused(Refusal.NotSupported, path, name);
            try
            {
                using (var stream = new FileStream(path, FileMode.Open, FileAccess.Read, FileShare.Read))
                {
                    if (!IsDisk(stream)) throw Refused(Refusal.NotSupported, path, name);
                    byte[] bytes = Allocate(stream.Length, path, name);
                    int done = 0;
                    while (done < bytes.Length)
                    {
                        int n = stream.Read(bytes, done, bytes.Length - done);
                        if (n <= 0) break;
                        done += n;
                    }
                    if (done != bytes.Length || stream.ReadByte() >= 0)
                        throw Refused(Refusal.CouldNotRead, path, name);
                    return bytes;
                }
            }
            catch (Exception e) when (e is FileNotFoundException || e is DirectoryNotFoundException)
            {
                throw Refused(Refusal.NotFound, path, name);
            }
            catch (Exception e) when (e is IOException || e is UnauthorizedAccessException
                || e is ArgumentException || e is NotSupportedException || e is System.Security.SecurityException)
            {
                throw Refused(Refusal.CouldNotRead, path, name);
            }
        }

        private static byte[] Allocate(long length, string path, string name)
        {
            if (length > MaxLength) throw Refused(Refusal.TooLarge, path, name);
            try
            {
                return LargeArray.Allocate(length);
            }
            catch (OutOfMemoryException)
            {
                throw Refused(Refusal.TooLarge, path, name);
            }
        }

        [DllImport("kernel32.dll")]
        private static extern int GetFileType(IntPtr handle);

        // A Windows handle of a file on disk (not a console, pipe or device).
        private static bool IsDisk(FileStream stream)
        {
            if (Platform.IsUnix) return true;
            try
            {
                const int FileTypeDisk = 1;
                return GetFileType(stream.SafeFileHandle.DangerousGetHandle()) == FileTypeDisk;
            }
            catch (Exception e) when (e is DllNotFoundException || e is EntryPointNotFoundException)
            {
                return true;
            }
        }
    }
}
