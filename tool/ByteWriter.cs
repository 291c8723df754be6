using System;
using System.IO;

namespace tool
{
    /// <summary>
    /// Growable little-endian output buffer with a movable write position.
    /// Writing beyond the current end first fills the gap with zero bytes.
    /// </summary>
    public sealed class ByteWriter
    {
        private byte[] buffer;
        private long length;
        private long position;

        public ByteWriter() : this(256) { }

        public ByteWriter(long initialCapacity)
        {
            buffer = new byte[Math.Max(16, initialCapacity)];
        }

        public long Length { get { return length; } }

        public long Position
        {
            get { return position; }
            set
            {
                if (value < 0) throw new ArgumentOutOfRangeException("value");
                position = value;
            }
        }

        private void Reserve(long n)
        {
            long end = position + n;
            if (end > int.MaxValue - 64)
                throw new DamagedPackageException("output would exceed 2 GB");
            if (end > buffer.Length)
            {
                long capacity = buffer.Length;
                while (capacity < end) capacity = Math.Min((long)int.MaxValue - 64, capacity * 2);
                var grown = new byte[capacity];
                Buffer.BlockCopy(buffer, 0, grown, 0, (int)length);
                buffer = grown;
            }
            // Bytes between the old end and the position are zero: the array
            // was zero-filled when allocated and nothing was written there.
            if (end > length) length = end;
        }

        public void WriteByte(byte b)
        {
            Reserve(1);
            buffer[position++] = b;
        }

        public void WriteInt32(int v)
        {
            Reserve(4);
            int p = (int)position;
            buffer[p] = (byte)v;
            buffer[p + 1] = (byte)(v >> 8);
            buffer[p + 2] = (byte)(v >> 16);
            buffer[p + 3] = (byte)(v >> 24);
            position += 4;
        }

        public void WriteUInt32(uint v)
        {
            WriteInt32(unchecked((int)v));
        }

        public void WriteInt64(long v)
        {
            WriteInt32(unchecked((int)v));
            WriteInt32(unchecked((int)(v >> 32)));
        }

        public void WriteBytes(byte[] source, int offset, int count)
        {
            Reserve(count);
            Buffer.BlockCopy(source, offset, buffer, (int)position, count);
            position += count;
        }

        public void WriteBytes(byte[] source)
        {
            WriteBytes(source, 0, source.Length);
        }

        /// <summary>Copies the next n bytes of the reader to the write position.</summary>
        public void CopyFrom(ByteReader reader, long n)
        {
            reader.Require(n);
            WriteBytes(reader.Data, (int)reader.Position, (int)n);
            reader.Position += n;
        }

        /// <summary>
        /// Writes the bytes written so far, from offset 0 to the end, to the
        /// stream straight from the buffer, without a copy of them.
        /// </summary>
        public void WriteTo(Stream stream)
        {
            stream.Write(buffer, 0, (int)length);
        }

        /// <summary>The bytes written so far, from offset 0 to the end, as a new array.</summary>
        public byte[] ToArray()
        {
            var result = new byte[length];
            Buffer.BlockCopy(buffer, 0, result, 0, (int)length);
            return result;
        }
    }
}
