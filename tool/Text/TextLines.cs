// The lines of a text file, split straight from its UTF-16 bytes where they are asked for.
using System;
using System.Collections;
using System.Collections.Generic;

namespace tool
{
    /// <summary>
    /// The lines of a text file, split where they are asked for rather than
    /// all at once: import takes them in order, one per text of the package,
    /// so a file of millions of short lines costs its bytes and nothing per
    /// line it never reaches. A UTF-16 file is split straight from its own
    /// bytes (<see cref="TextFile.Utf16Units"/>); code units are taken one
    /// for one, so even an unpaired surrogate is carried as it is, and an
    /// odd last byte is a U+FFFD at the end of the last line. Lines end at
    /// CR LF, lone LF and lone CR; a line end at the very end adds no empty
    /// line. Asking in order costs time in proportion to the text; asking
    /// for an earlier line starts over.
    /// </summary>
    public sealed class TextLines : IReadOnlyList<string>
    {
        private const char Replacement = '\uFFFD';

        private readonly byte[] bytes;
        private readonly int start;
        /// <summary>Whole code units from start on.</summary>
        private readonly int units;
        /// <summary>Units together with the U+FFFD of an odd last byte.</summary>
        private readonly int total;
        /// <summary>Offsets of a unit's high and low byte within it.</summary>
        private readonly int hi, lo;
        private readonly int count;
        private int cursorLine;
        private int cursorUnit;
        /// <summary>Where the line at the cursor ends, once known; -1 before.</summary>
        private int cursorEnd = -1;
        private char[] line = new char[256];

        /// <summary>The lines of a text file's bytes, in whatever encoding its byte-order mark names.</summary>
        public TextLines(byte[] file)
        {
            bool bigEndian;
            bytes = TextFile.Utf16Units(file, out start, out bigEndian);
            units = (bytes.Length - start) / 2;
            total = units + ((bytes.Length - start) & 1);
            hi = bigEndian ? 0 : 1;
            lo = 1 - hi;
            int lines = 0;
            for (int u = 0; u < total; u = NextStart(u)) lines++;
            count = lines;
        }

        public int Count { get { return count; } }

        public string this[int index]
        {
            get
            {
                if (index < 0 || index >= count) throw new ArgumentOutOfRangeException("index");
                MoveTo(index);
                if (cursorEnd < 0) cursorEnd = EndOf(cursorUnit);
                int length = cursorEnd - cursorUnit;
                if (line.Length < length) line = new char[Math.Max(length, 2 * line.Length)];
                // Whole units of UTF-16LE are the chars' own bytes on a
                // little-endian machine; the U+FFFD of an odd last byte is not.
                int whole = Math.Min(length, units - cursorUnit);
                if (hi == 1 && BitConverter.IsLittleEndian)
                {
                    Buffer.BlockCopy(bytes, start + 2 * cursorUnit, line, 0, 2 * whole);
                    for (int i = whole; i < length; i++) line[i] = At(cursorUnit + i);
                }
                else
                {
                    for (int i = 0; i < length; i++) line[i] = At(cursorUnit + i);
                }
                return new string(line, 0, length);
            }
        }

        /// <summary>Whether a line from index on holds anything; false when there is no such line.</summary>
        public bool HasTextFrom(int index)
        {
            if (index < 0 || index >= count) return false;
            MoveTo(index);
            for (int u = cursorUnit; u < total; u++)
            {
                char c = At(u);
                if (c != '\r' && c != '\n') return true;
            }
            return false;
        }

        public IEnumerator<string> GetEnumerator()
        {
            for (int i = 0; i < count; i++) yield return this[i];
        }

        IEnumerator IEnumerable.GetEnumerator()
        {
            return GetEnumerator();
        }

        private void MoveTo(int index)
        {
            if (index < cursorLine)
            {
                cursorLine = 0;
                cursorUnit = 0;
                cursorEnd = -1;
            }
            while (cursorLine < index)
            {
                cursorUnit = cursorEnd < 0 ? NextStart(cursorUnit) : StartAfter(cursorEnd);
                cursorEnd = -1;
                cursorLine++;
            }
        }

        private char At(int u)
        {
            if (u == units) return Replacement;
            int p = start + 2 * u;
            return (char)((bytes[p + hi] << 8) | bytes[p + lo]);
        }

        /// <summary>Where the line that begins at unit u ends: its CR or LF, or the text's end.</summary>
        private int EndOf(int u)
        {
            byte[] b = bytes;
            int end = start + 2 * units;
            for (int p = start + 2 * u; p < end; p += 2)
            {
                // The low byte first: it rules out nearly every unit alone.
                byte low = b[p + lo];
                if (low <= '\r' && (low == '\r' || low == '\n') && b[p + hi] == 0)
                    return (p - start) / 2;
            }
            return total;
        }

        /// <summary>Where the line after the one that begins at unit u begins.</summary>
        private int NextStart(int u)
        {
            return StartAfter(EndOf(u));
        }

        /// <summary>Where the line after the one that ends at unit end begins.</summary>
        private int StartAfter(int end)
        {
            if (end >= total) return total;
            if (At(end) == '\r' && end + 1 < units && At(end + 1) == '\n') return end + 2;
            return end + 1;
        }
    }
}
