// A buffered, write-only stream into a descriptor of the process's own (Linux).
using System;
using System.IO;

namespace tool
{
    /// <summary>
    /// Writes into an open descriptor at the stream's position (pwrite), the
    /// way a FileStream would: small writes are gathered in a buffer, large
    /// ones go straight through, and positioning costs nothing until the
    /// next write (a position beyond the end leaves zero bytes between). It
    /// owns the descriptor: closing the stream closes it without writing
    /// what is still buffered, for a file that is closed unflushed is one
    /// being abandoned; <see cref="Flush"/> and <see cref="FlushToDisk"/>
    /// write it. A failed write raises an IOException naming the errno.
    /// Every 2 MiB written, writing them to disk is started, so that the
    /// disk works while the file is still being made and the flush at the
    /// end waits for little more than the last of it.
    /// </summary>
    internal sealed class DescriptorStream : Stream
    {
        private readonly Descriptor fd;
        private readonly byte[] buffer;
        private int buffered;
        private long bufferedAt;
        private long position;
        private long end;
        /// <summary>The span written since writeback was last started, and how many bytes of it were.</summary>
        private long unstartedFrom = long.MaxValue, unstartedTo;
        private long unstartedBytes;
        private bool writebackWorks = true;
        private const long WritebackEvery = 2 << 20;

        public DescriptorStream(Descriptor fd, int bufferSize)
        {
            this.fd = fd;
            buffer = new byte[bufferSize];
        }

        public Descriptor Descriptor { get { return fd; } }

        public override bool CanRead { get { return false; } }
        public override bool CanSeek { get { return !fd.IsClosed; } }
        public override bool CanWrite { get { return !fd.IsClosed; } }
        public override long Length { get { return end; } }

        public override long Position
        {
            get { return position; }
            set
            {
                if (value < 0) throw new ArgumentOutOfRangeException("value");
                position = value;
            }
        }

        public override long Seek(long offset, SeekOrigin origin)
        {
            long from = origin == SeekOrigin.Begin ? 0 : origin == SeekOrigin.Current ? position : end;
            Position = from + offset;
            return position;
        }

        public override void Write(byte[] source, int offset, int count)
        {
            if (source == null) throw new ArgumentNullException("source");
            if (offset < 0 || count < 0 || count > source.Length - offset) throw new ArgumentOutOfRangeException("count");
            if (fd.IsClosed) throw new ObjectDisposedException("DescriptorStream");
            if (buffered > 0 && (position != bufferedAt + buffered || buffered + count > buffer.Length)) Flush();
            if (count >= buffer.Length)
            {
                WriteThrough(source, offset, count, position);
            }
            else
            {
                if (buffered == 0) bufferedAt = position;
                Buffer.BlockCopy(source, offset, buffer, buffered, count);
                buffered += count;
            }
            position += count;
            end = Math.Max(end, position);
        }

        /// <summary>Writes what is buffered into the file.</summary>
        public override void Flush()
        {
            if (buffered == 0) return;
            int count = buffered;
            buffered = 0;
            WriteThrough(buffer, 0, count, bufferedAt);
        }

        /// <summary>Writes into the file, a large write in pieces of WritebackEvery so that the disk starts on it early.</summary>
        private void WriteThrough(byte[] source, int offset, int count, long at)
        {
            while (count > 0)
            {
                int piece = writebackWorks ? (int)Math.Min(count, WritebackEvery) : count;
                Check(UnixFileCalls.WriteAt(fd, source, offset, piece, at));
                Written(at, piece);
                offset += piece;
                at += piece;
                count -= piece;
            }
        }

        /// <summary>Starts writeback once WritebackEvery bytes have been written since it was last started.</summary>
        private void Written(long at, int count)
        {
            if (!writebackWorks) return;
            unstartedFrom = Math.Min(unstartedFrom, at);
            unstartedTo = Math.Max(unstartedTo, at + count);
            unstartedBytes += count;
            if (unstartedBytes < WritebackEvery) return;
            writebackWorks = UnixFileCalls.StartWriteback(fd, unstartedFrom, unstartedTo - unstartedFrom);
            unstartedFrom = long.MaxValue;
            unstartedTo = 0;
            unstartedBytes = 0;
        }

        /// <summary>Writes what is buffered and flushes the file's data to disk.</summary>
        public void FlushToDisk()
        {
            Flush();
            Check(UnixFileCalls.Sync(fd));
        }

        private static void Check(int errno)
        {
            if (errno != 0) throw new IOException("could not write the file (error " + errno + ")");
        }

        protected override void Dispose(bool disposing)
        {
            if (disposing) fd.Dispose();
            base.Dispose(disposing);
        }

        public override int Read(byte[] target, int offset, int count) { throw new NotSupportedException(); }
        public override void SetLength(long value) { throw new NotSupportedException(); }
    }
}
