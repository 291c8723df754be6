// The file an output is written into before it takes its place.
using System;
using System.IO;

namespace tool
{
    /// <summary>
    /// The file an output is written into before it takes the target's
    /// place. On Linux it is a file without a name in the target's folder
    /// (O_TMPFILE), named only when it is whole and on disk: a process ended
    /// before that, even by SIGKILL, leaves nothing behind. Where the file
    /// system cannot make such files, where /proc/self/fd (through which the
    /// file is named) does not lead to it, and on Windows, it is a hidden
    /// temporary file beside the target (<see cref="SafeFile.TemporaryPathFor"/>),
    /// which a killed process leaves until the next write of the same target
    /// removes it. On Unix the file's lock is held from its creation until it is
    /// closed, so that such a removal by another run spares it, named or not
    /// yet. Disposing of it closes it and removes its temporary name, unless
    /// that name was moved into place.
    /// </summary>
    internal sealed class OutputFile : IDisposable
    {
        private readonly string target;
        private readonly DescriptorStream unnamed;
        private FileStream named;
        private string temp;

        private OutputFile(string target, DescriptorStream unnamed, FileStream named, string temp)
        {
            this.target = target;
            this.unnamed = unnamed;
            this.named = named;
            this.temp = temp;
        }

        /// <summary>Starts the file for the output at fullPath, buffering writes up to bufferSize bytes.</summary>
        public static OutputFile Create(string fullPath, int bufferSize)
        {
            DescriptorStream unnamed = Platform.IsLinux ? OpenUnnamed(fullPath, bufferSize) : null;
            if (unnamed != null) return new OutputFile(fullPath, unnamed, null, null);
            FileStream stream;
            string temp = CreateLocked(fullPath, bufferSize, out stream);
            return new OutputFile(fullPath, null, stream, temp);
        }

        /// <summary>
        /// The unnamed file in fullPath's folder, locked; null where none can
        /// be made or named. Whatever failed, the named file is tried next,
        /// and gets the same refusal where the folder takes no new file.
        /// </summary>
        private static DescriptorStream OpenUnnamed(string fullPath, int bufferSize)
        {
            Descriptor fd = null;
            try
            {
                int errno;
                fd = UnixFileCalls.OpenUnnamed(Path.GetDirectoryName(fullPath), out errno);
                if (fd == null || !UnixFileCalls.ReachableThroughProc(fd)) return null;
                bool heldElsewhere;
                UnixFileCalls.TryLock(fd.Number, out heldElsewhere);
                var stream = new DescriptorStream(fd, bufferSize);
                fd = null;
                return stream;
            }
            catch (Exception e) when (e is DllNotFoundException || e is EntryPointNotFoundException)
            {
                return null;
            }
            finally
            {
                if (fd != null) fd.Dispose();
            }
        }

        /// <summary>
        /// Creates the named temporary file for fullPath. On Unix its lock is
        /// held for as long as it is written, so that another run writing the
        /// same target leaves it alone (<see cref="SafeFile.RemoveLeftovers"/>);
        /// such a run may have removed it between its creation and the lock,
        /// and then the file is made again under a new name.
        /// </summary>
        private static string CreateLocked(string fullPath, int bufferSize, out FileStream stream)
        {
            for (int attempt = 0; ; attempt++)
            {
                string path = SafeFile.TemporaryPathFor(fullPath);
                stream = new FileStream(path, FileMode.CreateNew, FileAccess.Write, FileShare.None, bufferSize);
                if (!Platform.IsUnix || attempt >= 8 || LockedAndInPlace(stream, path)) return path;
                stream.Dispose();
            }
        }

        /// <summary>
        /// Takes the lock of the new file and checks that the path still leads
        /// to it: a second open of the same file cannot take the lock too.
        /// False when another run holds the lock, and so is removing the
        /// file, or has removed it. A file system without these locks writes
        /// as before.
        /// </summary>
        private static bool LockedAndInPlace(FileStream stream, string path)
        {
            try
            {
                int fd = stream.SafeFileHandle.DangerousGetHandle().ToInt32();
                bool heldElsewhere;
                if (!UnixFileCalls.TryLock(fd, out heldElsewhere)) return !heldElsewhere;
                return UnixFileCalls.IsLockedElsewhere(path);
            }
            catch (Exception e) when (e is DllNotFoundException || e is EntryPointNotFoundException)
            {
                return true;
            }
        }

        /// <summary>The stream into the file: writable and seekable.</summary>
        public Stream Stream { get { return unnamed != null ? (Stream)unnamed : named; } }

        /// <summary>Whether the file has no name yet (Linux), and so can be linked to any name.</summary>
        public bool IsUnnamed { get { return unnamed != null; } }

        /// <summary>
        /// Writes what is buffered and flushes the file to disk. On Windows the
        /// file is closed too, for an open file cannot be moved there; on Unix
        /// it stays open, and locked, until it is in place.
        /// </summary>
        public void FlushToDisk()
        {
            if (unnamed != null)
            {
                unnamed.FlushToDisk();
                return;
            }
            named.Flush(true);
            if (Platform.IsUnix) return;
            named.Dispose();
            named = null;
        }

        /// <summary>
        /// The name of the flushed file beside the target, to be moved into
        /// place: the temporary one it was made with, or one it is now given
        /// (another, where another file took the first).
        /// </summary>
        public string TemporaryName()
        {
            if (temp != null) return temp;
            for (int attempt = 0; ; attempt++)
            {
                string path = SafeFile.TemporaryPathFor(target);
                int errno = UnixFileCalls.Link(unnamed.Descriptor, path);
                if (errno == 0) return temp = path;
                if (errno != UnixFileCalls.EExist || attempt >= 16) throw Failure(errno, path);
            }
        }

        /// <summary>Gives the file the permission bits (Unix); 0, or -1 with errno.</summary>
        public int SetPermissions(int bits)
        {
            return unnamed != null ? UnixFileCalls.Chmod(unnamed.Descriptor, bits) : UnixFileCalls.Chmod(temp, bits);
        }

        /// <summary>Gives the flushed unnamed file the name path; false where something has that name.</summary>
        public bool LinkAs(string path)
        {
            int errno = UnixFileCalls.Link(unnamed.Descriptor, path);
            if (errno == UnixFileCalls.EExist) return false;
            if (errno != 0) throw Failure(errno, path);
            return true;
        }

        private static Exception Failure(int errno, string path)
        {
            string message = "could not create '" + path + "' (error " + errno + ")";
            if (errno == UnixFileCalls.EAccess) return new UnauthorizedAccessException(message);
            return new IOException(message);
        }

        /// <summary>Says that the temporary name was moved into place: disposing leaves it.</summary>
        public void Placed()
        {
            temp = null;
        }

        /// <summary>
        /// Closes the file, and removes its temporary name unless it was
        /// placed. Closing a named file flushes what is still buffered, which
        /// fails again on a full disk, and the runtime's file stream may then
        /// raise an ArgumentException of its own: the file is removed all the
        /// same, and the failure that counts is the one already raised.
        /// </summary>
        public void Dispose()
        {
            // On Unix the name goes while the lock is still held; Windows
            // removes no file that is open.
            if (temp != null && Platform.IsUnix) SafeFile.TryDelete(temp);
            if (unnamed != null) unnamed.Dispose();
            if (named != null)
            {
                try { named.Dispose(); }
                catch (Exception e) when (IsWriteFailure(e) || e is ObjectDisposedException) { }
                named = null;
            }
            if (temp != null && !Platform.IsUnix) SafeFile.TryDelete(temp);
            temp = null;
        }

        /// <summary>The exceptions by which writing a file fails (rather than the tool).</summary>
        public static bool IsWriteFailure(Exception e)
        {
            return e is IOException || e is UnauthorizedAccessException || e is NotSupportedException
                || e is ArgumentException || e is System.Security.SecurityException;
        }
    }
}
