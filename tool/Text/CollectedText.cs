// The text file that extraction writes, gathered as its bytes line by line.
using System;
using System.Collections.Generic;
using System.IO;

namespace tool
{
    /// <summary>
    /// The lines that extraction gathers for one package, as the text file's
    /// bytes (<see cref="TextFile"/>: the byte-order mark, then every line
    /// escaped and ended by CR LF in UTF-16LE), with a note of every line
    /// whose value holds a carriage return, which the file cannot carry.
    /// Either kept in blocks of 1 MiB, so the file is written from them as
    /// they are, or passed to an output stream through one reused block as
    /// each block fills, so that text of any size costs one block of memory.
    /// </summary>
    public sealed class CollectedText
    {
        private const int KeptBlockSize = 1 << 20;
        /// <summary>The block of a text passed on as it grows: small enough to stay in the cache.</summary>
        public const int PassedBlockSize = 64 << 10;

        private readonly int blockSize;
        private readonly Stream output;
        private readonly List<byte[]> blocks = new List<byte[]>();
        private byte[] current;
        private int used;
        private readonly List<int> carriageReturnLines = new List<int>();

        /// <summary>A text kept whole in memory, for <see cref="WriteTo"/>.</summary>
        public CollectedText() : this(null, KeptBlockSize) { }

        /// <summary>
        /// A text whose bytes go to output (when not null) each time a block
        /// of blockSize bytes (even, at least 4) is full, and the rest at
        /// <see cref="Finish"/>.
        /// </summary>
        public CollectedText(Stream output, int blockSize)
        {
            if (blockSize < 4 || (blockSize & 1) != 0) throw new ArgumentOutOfRangeException("blockSize");
            this.output = output;
            this.blockSize = blockSize;
            current = new byte[blockSize];
            blocks.Add(current);
            current[0] = 0xFF;
            current[1] = 0xFE;
            used = 2;
        }

        /// <summary>Lines appended so far.</summary>
        public int LineCount { get; private set; }

        /// <summary>Numbers, counted from 1, of the lines whose value holds a carriage return.</summary>
        public IList<int> CarriageReturnLines { get { return carriageReturnLines.AsReadOnly(); } }

        /// <summary>Appends one value as one line: each line feed as "{\n}", then CR LF.</summary>
        public void AddLine(string value)
        {
            LineCount++;
            if (value.IndexOf('\r') >= 0) carriageReturnLines.Add(LineCount);
            for (int i = 0; i < value.Length; i++)
            {
                char c = value[i];
                if (c == '\n') Append(TextFile.EscapedLineFeed);
                else Append(c);
            }
            Append(TextFile.LineEnd);
        }

        /// <summary>
        /// Appends a string value as stored in a package (stored length L,
        /// byteCount bytes at offset) as one line, exactly as
        /// AddLine(<see cref="StringValue.Decode"/>(...)) would. UTF-16 values
        /// and 8-bit values of ASCII bytes only, the common case, go into the
        /// file without being made into a string first.
        /// </summary>
        public void AddStoredLine(byte[] data, long offset, int length, long byteCount)
        {
            int start = (int)offset;
            if (length >= 0)
            {
                int end = start + (int)byteCount;
                while (end > start && data[end - 1] == 0) end--;
                bool control = false;
                for (int i = start; i < end; i++)
                {
                    byte b = data[i];
                    if (b >= 0x80)
                    {
                        AddLine(StringValue.DecodeEightBit(data, start, (int)byteCount));
                        return;
                    }
                    if (b <= '\r') control = true;
                }
                LineCount++;
                if (control)
                    EndLine(AppendUnits(data, start, end, 1));
                else
                    WidenAscii(data, start, end);
            }
            else
            {
                int units = (int)(byteCount / 2);
                while (units > 0 && data[start + 2 * units - 2] == 0 && data[start + 2 * units - 1] == 0) units--;
                int end = start + 2 * units;
                bool control = false;
                for (int p = start; p < end; p += 2)
                {
                    if (data[p] <= '\r' && data[p + 1] == 0)
                    {
                        control = true;
                        break;
                    }
                }
                LineCount++;
                if (control)
                    EndLine(AppendUnits(data, start, end, 2));
                else
                    CopyUnits(data, start, end);
            }
        }

        /// <summary>Appends ASCII bytes without a line feed or carriage return, each as one code unit, and the line end.</summary>
        private void WidenAscii(byte[] data, int start, int end)
        {
            int p = start;
            while (p < end)
            {
                if (used == blockSize) NewBlock();
                byte[] block = current;
                int u = used;
                int stop = Math.Min(end, p + (blockSize - u) / 2);
                for (; p < stop; p++, u += 2)
                {
                    block[u] = data[p];
                    block[u + 1] = 0;
                }
                used = u;
            }
            EndLine(false);
        }

        /// <summary>Appends UTF-16LE code units without a line feed or carriage return as they are, and the line end.</summary>
        private void CopyUnits(byte[] data, int start, int end)
        {
            int p = start;
            while (p < end)
            {
                if (used == blockSize) NewBlock();
                int n = Math.Min(end - p, blockSize - used);
                Buffer.BlockCopy(data, p, current, used, n);
                used += n;
                p += n;
            }
            EndLine(false);
        }

        /// <summary>
        /// Appends the code units of data from start to end, each width bytes
        /// (1: an ASCII byte, 2: UTF-16LE), a line feed as "{\n}", straight
        /// into the blocks; true when one of them is a carriage return.
        /// </summary>
        private bool AppendUnits(byte[] data, int start, int end, int width)
        {
            bool carriageReturn = false;
            int p = start;
            while (p < end)
            {
                if (used == blockSize) NewBlock();
                byte[] block = current;
                int u = used;
                int stop = Math.Min(end, p + (blockSize - u) / 2 * width);
                bool lineFeed = false;
                for (; p < stop; p += width)
                {
                    byte low = data[p];
                    byte high = width == 2 ? data[p + 1] : (byte)0;
                    if (low <= '\r' && high == 0)
                    {
                        if (low == '\n')
                        {
                            lineFeed = true;
                            break;
                        }
                        if (low == '\r') carriageReturn = true;
                    }
                    block[u] = low;
                    block[u + 1] = high;
                    u += 2;
                }
                used = u;
                if (lineFeed)
                {
                    Append(TextFile.EscapedLineFeed);
                    p += width;
                }
            }
            return carriageReturn;
        }

        private void EndLine(bool carriageReturn)
        {
            if (carriageReturn) carriageReturnLines.Add(LineCount);
            if (used <= blockSize - 4)
            {
                byte[] block = current;
                block[used] = (byte)'\r';
                block[used + 1] = 0;
                block[used + 2] = (byte)'\n';
                block[used + 3] = 0;
                used += 4;
                return;
            }
            Append(TextFile.LineEnd);
        }

        private void Append(string s)
        {
            for (int i = 0; i < s.Length; i++) Append(s[i]);
        }

        private void NewBlock()
        {
            if (output != null)
                output.Write(current, 0, used);
            else
            {
                current = new byte[blockSize];
                blocks.Add(current);
            }
            used = 0;
        }

        // Code units are copied one for one, low byte first, so even a lone
        // surrogate read from a package reaches the file unchanged.
        private void Append(char c)
        {
            if (used == blockSize) NewBlock();
            current[used] = (byte)c;
            current[used + 1] = (byte)(c >> 8);
            used += 2;
        }

        /// <summary>Passes what is left of a text made with an output stream to it.</summary>
        public void Finish()
        {
            if (output == null) throw new InvalidOperationException("the text is kept in memory");
            output.Write(current, 0, used);
            used = 0;
        }

        /// <summary>Writes the whole text file, byte-order mark first, to the stream; only a text kept in memory.</summary>
        public void WriteTo(Stream stream)
        {
            if (output != null) throw new InvalidOperationException("the text has gone to its output");
            for (int i = 0; i < blocks.Count; i++)
                stream.Write(blocks[i], 0, i == blocks.Count - 1 ? used : blockSize);
        }
    }
}
