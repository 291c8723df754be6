// Bounds-checked little-endian reads from a file held whole in memory.
using System;

namespace tool
{
    /// <summary>
    /// Little-endian reader over a file held whole in memory. Every read is
    /// bounds-checked, so no length or count taken from a package can read
    /// outside it or allocate more than the package itself holds.
    /// </summary>
    public sealed class ByteReader
    {
        private readonly byte[] data;
        private long position;
        private long limit;

        public ByteReader(byte[] data)
        {
            this.data = data ?? throw new ArgumentNullException("data");
            limit = data.Length;
        }

        /// <summary>
        /// Where reads end: the data's end, unless set nearer for one walk,
        /// which then may not read past it.
        /// </summary>
        public long Limit
        {
            get { return limit; }
            set { limit = Math.Max(0, Math.Min(value, data.Length)); }
        }

        public byte[] Data { get { return data; } }
        public long Length { get { return data.Length; } }

        /// <summary>Read position; may be set anywhere, reads check it.</summary>
        public long Position
        {
            get { return position; }
            set { position = value; }
        }

        /// <summary>Fails unless n bytes can be read at the current position.</summary>
        public void Require(long n)
        {
            if (n < 0 || position < 0 || position > limit || n > limit - position) Refuse(n);
        }

        private void Refuse(long n)
        {
            if (n < 0)
                throw new DamagedPackageException("negative length " + n + " at offset " + position);
            throw new DamagedPackageException("read of " + n + " bytes at offset " + position + " past "
                + (limit == data.Length ? "the end" : "offset " + limit));
        }

        public byte ReadByte()
        {
            Require(1);
            return data[position++];
        }

        public int ReadInt32()
        {
            long p = position;
            if (p < 0 || p > limit - 4) Refuse(4);
            position = p + 4;
            return data[p] | (data[p + 1] << 8) | (data[p + 2] << 16) | (data[p + 3] << 24);
        }

        public uint ReadUInt32()
        {
            return unchecked((uint)ReadInt32());
        }

        public long ReadInt64()
        {
            long p = position;
            if (p < 0 || p > limit - 8) Refuse(8);
            position = p + 8;
            uint lo = (uint)(data[p] | (data[p + 1] << 8) | (data[p + 2] << 16) | (data[p + 3] << 24));
            uint hi = (uint)(data[p + 4] | (data[p + 5] << 8) | (data[p + 6] << 16) | (data[p + 7] << 24));
            return (long)(((ulong)hi << 32) | lo);
        }

        /// <summary>Moves forward n bytes, which must lie inside the data.</summary>
        public void Skip(long n)
        {
            long p = position;
            if (n < 0 || p < 0 || p > limit || n > limit - p) Refuse(n);
            position = p + n;
        }
    }
}
