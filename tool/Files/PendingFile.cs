// An output file written piece by piece into a temporary file and renamed into place at the end.
using System;
using System.IO;

namespace tool
{
    /// <summary>
    /// An output file written piece by piece while it is being made, with the
    /// guarantees of <see cref="SafeFile"/>: the bytes go to an
    /// <see cref="OutputFile"/> (on Linux without a name until it is whole),
    /// which <see cref="Commit"/> flushes to disk and renames over the
    /// target; disposing of it uncommitted deletes it, so a refused or failed
    /// file leaves nothing on disk. A failure to create or
    /// write the temporary file is kept back, and further writes are passed
    /// over, until Commit raises it: the work that makes the file runs to its
    /// end and says what it has to say, as it would before a write at the end.
    /// </summary>
    public sealed class PendingFile : IDisposable
    {
        private readonly string fullPath;
        private OutputFile file;
        private Exception failure;

        private PendingFile(string path)
        {
            Output = new KeptBackStream(this);
            try
            {
                fullPath = Path.GetFullPath(path);
                SafeFile.RemoveLeftovers(fullPath);
                file = OutputFile.Create(fullPath, 1 << 20);
            }
            catch (Exception e)
            {
                if (!KeepBack(e)) throw;
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
                file.FlushToDisk();
                SafeFile.Replace(file, fullPath);
                file.Placed();
            }
            finally
            {
                Abandon();
            }
        }

        /// <summary>Drops the temporary file unless it has been committed.</summary>
        public void Dispose()
        {
            Abandon();
        }

        /// <summary>Closes the file; its temporary name goes unless it was moved into place.</summary>
        private void Abandon()
        {
            if (file == null) return;
            file.Dispose();
            file = null;
        }

        /// <summary>Keeps back the first I/O failure and drops the temporary file; false for any other exception.</summary>
        private bool KeepBack(Exception e)
        {
            if (!OutputFile.IsWriteFailure(e)) return false;
            if (failure == null) failure = e;
            Abandon();
            return true;
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
                        Stream file = owner.file.Stream;
                        if (file.Position != position) file.Position = position;
                        file.Write(buffer, offset, count);
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
