// A growable little-endian output buffer with a movable write position.
using System;
using System.IO;

namespace tool
{
    /// <summary>
    /// Growable little-endian output buffer with a movable write position.
    /// Writing beyond the current end first fills the gap with zero bytes.
    /// Positions and the length are counted from an origin, 0 unless
    /// <see cref="Restart"/> sets another: the buffer then holds the part of
    /// a larger output that begins there, and can be reused for the next.
    /// </summary>
    public sealed class ByteWriter
    {
        private byte[] buffer;
        /// <summary>Output offset of buffer[0].</summary>
        private long origin;
        private long length;
        private long position;

        public ByteWriter(long initialCapacity)
        {
            buffer = new byte[Math.Max(16, initialCapacity)];
        }

        /// <summary>The output offset just past the last byte written.</summary>
        public long Length { get { return origin + length; } }

        /// <summary>Write position in output offsets; never before the origin.</summary>
        public long Position
        {
            get { return origin + position; }
            set
            {
                if (value < 0) throw new ArgumentOutOfRangeException("value");
                if (value < origin)
                    throw new DamagedPackageException("write at offset " + value + " before " + origin);
                position = value - origin;
            }
        }

        /// <summary>
        /// Empties the buffer, keeping its storage, for the output that begins
        /// at offset newOrigin; the position moves there.
        /// </summary>
        public void Restart(long newOrigin)
        {
            if (newOrigin < 0) throw new ArgumentOutOfRangeException("newOrigin");
            origin = newOrigin;
            length = 0;
            position = 0;
        }

        private void Reserve(long n)
        {
            long end = position + n;
            if (origin + end > int.MaxValue - 64)
                throw new OutputTooLargeException();
            if (end > buffer.Length)
            {
                long capacity = buffer.Length;
                while (capacity < end) capacity = Math.Min((long)int.MaxValue - 64, capacity * 2);
                var grown = new byte[capacity];
                Buffer.BlockCopy(buffer, 0, grown, 0, (int)length);
                buffer = grown;
            }
            // A gap between the old end and the position becomes zero bytes
            // (storage reused after a restart may hold older ones).
            if (position > length) Array.Clear(buffer, (int)length, (int)(position - length));
            if (end > length) length = end;
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

        /// <summary>
        /// Writes every UTF-16 code unit of value, low byte first, then a
        /// zero unit: 2 × (length + 1) bytes. Code units are copied one for
        /// one, so even a lone surrogate goes out as it is.
        /// </summary>
        public void WriteUtf16Terminated(string value)
        {
            Reserve(2L * (value.Length + 1));
            int p = (int)position;
            for (int i = 0; i < value.Length; i++, p += 2)
            {
                char c = value[i];
                buffer[p] = (byte)c;
                buffer[p + 1] = (byte)(c >> 8);
            }
            buffer[p] = 0;
            buffer[p + 1] = 0;
            position = p + 2;
        }

        /// <summary>Copies the next n bytes of the reader to the write position.</summary>
        public void CopyFrom(ByteReader reader, long n)
        {
            reader.Require(n);
            WriteBytes(reader.Data, (int)reader.Position, (int)n);
            reader.Position += n;
        }

        /// <summary>
        /// Writes the bytes written so far, from the origin to the end, to the
        /// stream straight from the buffer, without a copy of them.
        /// </summary>
        public void WriteTo(Stream stream)
        {
            stream.Write(buffer, 0, (int)length);
        }
    }
}
