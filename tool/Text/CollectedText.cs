// The text file that extraction writes, gathered as its bytes line by line.
using System.Collections.Generic;
using System.IO;

namespace tool
{
    /// <summary>
    /// The lines that extraction gathers for one package, kept as the text
    /// file's bytes (<see cref="TextFile"/>: the byte-order mark, then every
    /// line escaped and ended by CR LF in UTF-16LE) in blocks of 1 MiB, so
    /// the file is written from them as they are; with a note of every line
    /// whose value holds a carriage return, which the file cannot carry.
    /// </summary>
    public sealed class CollectedText
    {
        private const int BlockSize = 1 << 20;

        private readonly List<byte[]> blocks = new List<byte[]>();
        private byte[] current;
        private int used;
        private readonly List<int> carriageReturnLines = new List<int>();

        public CollectedText()
        {
            current = new byte[BlockSize];
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
                for (int i = start; i < end; i++)
                {
                    if (data[i] >= 0x80)
                    {
                        AddLine(StringValue.DecodeEightBit(data, start, (int)byteCount));
                        return;
                    }
                }
                LineCount++;
                bool carriageReturn = false;
                for (int i = start; i < end; i++)
                    carriageReturn |= AppendUnit((char)data[i]);
                EndLine(carriageReturn);
            }
            else
            {
                int units = (int)(byteCount / 2);
                while (units > 0 && data[start + 2 * units - 2] == 0 && data[start + 2 * units - 1] == 0) units--;
                LineCount++;
                bool carriageReturn = false;
                for (int i = 0, p = start; i < units; i++, p += 2)
                    carriageReturn |= AppendUnit((char)(data[p] | (data[p + 1] << 8)));
                EndLine(carriageReturn);
            }
        }

        /// <summary>One code unit of a value, a line feed escaped; true for a carriage return.</summary>
        private bool AppendUnit(char c)
        {
            if (c == '\n') Append(TextFile.EscapedLineFeed);
            else Append(c);
            return c == '\r';
        }

        private void EndLine(bool carriageReturn)
        {
            if (carriageReturn) carriageReturnLines.Add(LineCount);
            Append(TextFile.LineEnd);
        }

        private void Append(string s)
        {
            for (int i = 0; i < s.Length; i++) Append(s[i]);
        }

        // Code units are copied one for one, low byte first, so even a lone
        // surrogate read from a package reaches the file unchanged.
        private void Append(char c)
        {
            if (used == BlockSize)
            {
                current = new byte[BlockSize];
                blocks.Add(current);
                used = 0;
            }
            current[used] = (byte)c;
            current[used + 1] = (byte)(c >> 8);
            used += 2;
        }

        /// <summary>Writes the whole text file, byte-order mark first, to the stream.</summary>
        public void WriteTo(Stream stream)
        {
            for (int i = 0; i < blocks.Count; i++)
                stream.Write(blocks[i], 0, i == blocks.Count - 1 ? used : BlockSize);
        }
    }
}
