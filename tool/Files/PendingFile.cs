// An output file written piece by piece into a temporary file and renamed into place at the end.
using System;
using System.IO;

namespace tool
{
    /// <summary>
    /// An output file written piece by piece while it is being made, with the
    /// guarantees of <see cref="SafeFile"/>: the bytes go to a temporary file
    /// beside the target, which <see cref="Commit"/> flushes to disk and
    /// renames over the target; disposing of it uncommitted deletes it, so a
    /// refused or failed file leaves nothing on disk. A failure to create or
    /// write the temporary file is kept back, and further writes are passed
    /// over, until Commit raises it: the work that makes the file runs to its
    /// end and says what it has to say, as it would before a write at the end.
    /// </summary>
    public sealed class PendingFile : IDisposable
    {
        private readonly string fullPath;
        private readonly string temp;
        private FileStream file;
        private Exception failure;
        private bool committed;

        private PendingFile(string path)
        {
            Output = new KeptBackStream(this);
            try
            {
                fullPath = Path.GetFullPath(path);
                SafeFile.RemoveLeftovers(fullPath);
                temp = CreateLocked(fullPath, out file);
            }
            catch (Exception e)
            {
                if (!KeepBack(e)) throw;
            }
        }

        /// <summary>
        /// Creates the temporary file for fullPath. On Unix its lock is held
        /// for as long as it is written, so that another run writing the same
        /// target leaves it alone (<see cref="SafeFile.RemoveLeftovers"/>);
        /// such a run may have removed it between its creation and the lock,
        /// and then the file is made again under a new name.
        /// </summary>
        private static string CreateLocked(string fullPath, out FileStream stream)
        {
            for (int attempt = 0; ; attempt++)
            {
                string path = SafeFile.TemporaryPathFor(fullPath);
                stream = new FileStream(path, FileMode.CreateNew, FileAccess.Write, FileShare.None, 1 << 20);
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

        /// <summary>Starts the output file for path; never fails with an I/O error.</summary>
        public static PendingFile Begin(string path)
        {
            return new PendingFile(path);
        }

        /// <summary>
        /// The stream into the temporary file: writable and seekable (a
        /// position beyond the end leaves zero bytes between); its failures
        /// are kept back.
        /// </summary>
        public Stream Output { get; private set; }

        /// <summary>
        /// Raises a failure kept back, or flushes the file to disk and renames
        /// it over the target. On failure an IOException or another I/O error
        /// reaches the caller, the target is unchanged and no temporary file
        /// is left.
        /// </summary>
        public void Commit()
        {
            if (failure != null) throw failure;
            try
            {
                file.Flush(true);
                file.Dispose();
                file = null;
                SafeFile.Replace(temp, fullPath);
                committed = true;
            }
            finally
            {
                if (!committed) Dispose();
            }
        }

        /// <summary>Deletes the temporary file unless it has been committed.</summary>
        public void Dispose()
        {
            if (committed) return;
            Abandon();
        }

        private void Abandon()
        {
            if (file != null)
            {
                // Closing flushes what is still buffered, which fails again
                // on a full disk, and the runtime's file stream may then
                // raise an ArgumentException of its own: the file is
                // deleted next, and the failure that counts is the first.
                try { file.Dispose(); }
                catch (Exception e) when (IsWriteFailure(e) || e is ObjectDisposedException) { }
                file = null;
            }
            if (temp != null) SafeFile.TryDelete(temp);
        }

        /// <summary>Keeps back the first I/O failure and drops the temporary file; false for any other exception.</summary>
        private bool KeepBack(Exception e)
        {
            if (!IsWriteFailure(e)) return false;
            if (failure == null) failure = e;
            Abandon();
            return true;
        }

        private static bool IsWriteFailure(Exception e)
        {
            return e is IOException || e is UnauthorizedAccessException || e is NotSupportedException
                || e is ArgumentException || e is System.Security.SecurityException;
        }

        /// <summary>Writes and positioning into the file, or nothing once a failure is kept back.</summary>
        private sealed class KeptBackStream : Stream
        {
            private readonly PendingFile owner;
            private long position;

            public KeptBackStream(PendingFile owner) { this.owner = owner; }

            public override bool CanRead { get { return false; } }
            public override bool CanSeek { get { return true; } }
            public override bool CanWrite { get { return true; } }
            public override long Length { get { throw new NotSupportedException(); } }

            public override long Position
            {
                get { return position; }
                set
                {
                    if (value < 0) throw new ArgumentOutOfRangeException("value");
                    position = value;
                }
            }

            public override void Write(byte[] buffer, int offset, int count)
            {
                if (owner.failure == null)
                {
                    try
                    {
                        if (owner.file.Position != position) owner.file.Position = position;
                        owner.file.Write(buffer, offset, count);
                    }
                    catch (Exception e)
                    {
                        if (!owner.KeepBack(e)) throw;
                    }
                }
                position += count;
            }

            public override long Seek(long offset, SeekOrigin origin)
            {
                if (origin != SeekOrigin.Begin) throw new NotSupportedException();
                Position = offset;
                return position;
            }

            public override void Flush() { }
            public override int Read(byte[] buffer, int offset, int count) { throw new NotSupportedException(); }
            public override void SetLength(long value) { throw new NotSupportedException(); }
        }
    }
}
