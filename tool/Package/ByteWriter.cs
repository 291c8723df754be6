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
    /// Restarted with the stream that output goes to, it passes what it holds
    /// on to the stream, at its place, whenever it has gathered
    /// <see cref="SpillBytes"/>, and a large piece at its end goes there
    /// directly; a write among the bytes passed on goes to the stream too.
    /// Then it never holds much more than that, however long the part.
    /// </summary>
    public sealed class ByteWriter
    {
        /// <summary>What a writer with a stream gathers before it passes it on.</summary>
        public const int SpillBytes = 1 << 22;

        /// <summary>The output's greatest length: package offsets and sizes are signed 32-bit.</summary>
        public const long MaxLength = int.MaxValue - 64;

        private byte[] buffer;
        /// <summary>Output offset of the part's first byte.</summary>
        private long first;
        /// <summary>Output offset of buffer[0]; the bytes from first to it are in the stream.</summary>
        private long origin;
        private long length;
        /// <summary>Write position from origin; below 0 among the bytes in the stream.</summary>
        private long position;
        private Stream stream;
        private readonly byte[] field = new byte[8];
        private readonly long maxLength;

        /// <summary>A writer whose output may not pass maxLength (at most <see cref="MaxLength"/>).</summary>
        public ByteWriter(long initialCapacity, long maxLength = MaxLength)
        {
            buffer = new byte[Math.Max(16, initialCapacity)];
            this.maxLength = Math.Min(maxLength, MaxLength);
        }

        /// <summary>The output offset just past the last byte written.</summary>
        public long Length { get { return origin + length; } }

        /// <summary>Write position in output offsets; never before the part's first byte.</summary>
        public long Position
        {
            get { return origin + position; }
            set
            {
                if (value < 0) throw new ArgumentOutOfRangeException("value");
                if (value < first)
                    throw new DamagedPackageException("write at offset " + value + " before " + first);
                position = value - origin;
            }
        }

        /// <summary>
        /// Empties the buffer, keeping its storage, for the output that begins
        /// at offset newOrigin; the position moves there.
        /// </summary>
        public void Restart(long newOrigin)
        {
            Restart(newOrigin, null);
        }

        /// <summary>
        /// The same for a part of output, a seekable stream, that is passed on
        /// to it as it grows; <see cref="Flush"/> passes on the rest.
        /// </summary>
        public void Restart(long newOrigin, Stream output)
        {
            if (newOrigin < 0) throw new ArgumentOutOfRangeException("newOrigin");
            first = newOrigin;
            origin = newOrigin;
            length = 0;
            position = 0;
            stream = output;
        }

        /// <summary>
        /// Passes what the buffer holds on to the stream given at the restart,
        /// at its place. A position beyond the end stays where it is.
        /// </summary>
        public void Flush()
        {
            stream.Position = origin;
            stream.Write(buffer, 0, (int)length);
            origin += length;
            position -= length;
            length = 0;
        }

        private void Reserve(long n)
        {
            long end = position + n;
            if (origin + end > maxLength)
                throw new OutputTooLargeException();
            if (end > buffer.Length && stream != null && position >= length && buffer.Length >= SpillBytes)
            {
                Flush();
                end = position + n;
            }
            if (end > buffer.Length)
            {
                long capacity = buffer.Length;
                while (capacity < end) capacity = Math.Min(MaxLength, capacity * 2);
                if (stream != null && capacity > SpillBytes && end <= SpillBytes) capacity = SpillBytes;
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
            if (position < 0)
            {
                PutInt32(v);
                WriteBytes(field, 0, 4);
                return;
            }
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
            if (position < 0)
            {
                // Among the bytes already in the stream, and on into the buffer.
                int before = (int)Math.Min(count, -position);
                stream.Position = origin + position;
                stream.Write(source, offset, before);
                position += before;
                offset += before;
                count -= before;
                if (count == 0) return;
            }
            if (stream != null && count >= SpillBytes && position >= length)
            {
                if (origin + position + count > maxLength)
                    throw new OutputTooLargeException();
                Flush();
                if (position > 0)
                {
                    // The gap before the piece, as zero bytes.
                    Reserve(0);
                    Flush();
                }
                stream.Position = origin;
                stream.Write(source, offset, count);
                origin += count;
                return;
            }
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
            if (position < 0)
            {
                var units = new byte[2L * (value.Length + 1)];
                for (int i = 0; i < value.Length; i++)
                {
                    units[2 * i] = (byte)value[i];
                    units[2 * i + 1] = (byte)(value[i] >> 8);
                }
                WriteBytes(units, 0, units.Length);
                return;
            }
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

        private void PutInt32(int v)
        {
            field[0] = (byte)v;
            field[1] = (byte)(v >> 8);
            field[2] = (byte)(v >> 16);
            field[3] = (byte)(v >> 24);
        }
    }
}
