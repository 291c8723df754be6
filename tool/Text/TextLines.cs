// The lines of a text file, split and decoded straight from its bytes where they are asked for.
using System;
using System.Collections;
using System.Collections.Generic;
using System.Text;

namespace tool
{
    /// <summary>
    /// The lines of a text file, split where they are asked for rather than
    /// all at once: import takes them in order, one per text of the package,
    /// so a file of millions of short lines costs its bytes and nothing per
    /// line it never reaches. Every form (<see cref="TextFile.Detect"/>) is
    /// read straight from the file's bytes, a piece of a line at a time, so
    /// that a line of any length costs nothing beside the file when it is
    /// written into a package (<see cref="WriteValue"/>) or compared
    /// (<see cref="Matches"/>). UTF-16 code units are taken one for one, so
    /// even an unpaired surrogate is carried as it is, and an odd last byte
    /// is a U+FFFD at the end of the last line; ill-formed UTF-8 becomes
    /// U+FFFD as the runtime's decoder makes it. Lines end at CR LF, lone LF
    /// and lone CR; a line end at the very end adds no empty line. Asking in
    /// order costs time in proportion to the text; asking for an earlier
    /// line starts over.
    /// </summary>
    public sealed class TextLines : IReadOnlyList<string>
    {
        private const char Replacement = '\uFFFD';
        /// <summary>Bytes decoded at a time.</summary>
        private const int Piece = 1 << 16;

        private readonly byte[] bytes;
        private readonly TextFile.Form form;
        /// <summary>Where the text starts, after its byte-order mark.</summary>
        private readonly int start;
        /// <summary>Bytes of one unit as stored: 1 for UTF-8 (a byte), 2, 4.</summary>
        private readonly int width;
        /// <summary>The end of the whole units: before the odd last byte of UTF-16.</summary>
        private readonly int wholeEnd;
        /// <summary>Offsets of a UTF-16 unit's high and low byte within it.</summary>
        private readonly int hi, lo;
        private readonly int count;
        private int cursorLine;
        /// <summary>The byte at which line cursorLine begins.</summary>
        private int cursorByte;
        private readonly char[] piece = new char[Piece + 8];
        private Decoder utf8;
        private char[] line = new char[256];
        private ValueWriter values;

        /// <summary>The lines of a text file's bytes, in whatever encoding its byte-order mark names.</summary>
        public TextLines(byte[] file)
        {
            bytes = file;
            form = TextFile.Detect(file, out start);
            width = form == TextFile.Form.Utf8 ? 1 : form == TextFile.Form.Utf32LE || form == TextFile.Form.Utf32BE ? 4 : 2;
            wholeEnd = start + (bytes.Length - start) / width * width;
            hi = form == TextFile.Form.Utf16BE ? 0 : 1;
            lo = 1 - hi;
            cursorByte = start;
            int lines = 0;
            for (int p = start; p < bytes.Length; p = NextStart(p)) lines++;
            count = lines;
        }

        public int Count { get { return count; } }

        /// <summary>The file's length in bytes: no line has more code units than that.</summary>
        public long FileLength { get { return bytes.Length; } }

        public string this[int index]
        {
            get
            {
                int from, to;
                Find(index, out from, out to);
                var collector = new Collector(line);
                Decode(from, to, collector);
                line = collector.Chars;
                return new string(line, 0, collector.Length);
            }
        }

        /// <summary>
        /// Writes the code units of line index to the writer, low byte first,
        /// each "{\n}" turned into a line feed when unescape; returns how many
        /// units it wrote. The line is never held whole.
        /// </summary>
        public long WriteValue(int index, bool unescape, ByteWriter writer)
        {
            int from, to;
            Find(index, out from, out to);
            if (form == TextFile.Form.Utf16LE) return WriteUtf16LE(from, to, unescape, writer);
            if (values == null) values = new ValueWriter();
            values.Start(writer, unescape);
            Decode(from, to, values);
            values.End();
            return values.Written;
        }

        /// <summary>Whether line index is text, code unit for code unit.</summary>
        public bool Matches(int index, string text)
        {
            int from, to;
            Find(index, out from, out to);
            var comparer = new Comparer(text);
            Decode(from, to, comparer);
            return comparer.Same && comparer.Compared == text.Length;
        }

        /// <summary>Whether a line from index on holds anything; false when there is no such line.</summary>
        public bool HasTextFrom(int index)
        {
            if (index < 0 || index >= count) return false;
            MoveTo(index);
            for (int p = cursorByte; p < wholeEnd; p += width)
                if (!IsLineEnd(p)) return true;
            // The U+FFFD of an odd last byte.
            return wholeEnd < bytes.Length;
        }

        public IEnumerator<string> GetEnumerator()
        {
            for (int i = 0; i < count; i++) yield return this[i];
        }

        IEnumerator IEnumerable.GetEnumerator()
        {
            return GetEnumerator();
        }

        /// <summary>Line index's bytes: from its first up to its line end or the file's end.</summary>
        private void Find(int index, out int from, out int to)
        {
            if (index < 0 || index >= count) throw new ArgumentOutOfRangeException("index");
            MoveTo(index);
            from = cursorByte;
            to = EndOf(from);
        }

        private void MoveTo(int index)
        {
            if (index < cursorLine)
            {
                cursorLine = 0;
                cursorByte = start;
            }
            while (cursorLine < index)
            {
                cursorByte = NextStart(cursorByte);
                cursorLine++;
            }
        }

        /// <summary>The UTF-16 unit or the UTF-32 value at p; for UTF-8 the byte.</summary>
        private uint UnitAt(int p)
        {
            switch (form)
            {
                case TextFile.Form.Utf8: return bytes[p];
                case TextFile.Form.Utf32LE: return TextFile.Utf32At(bytes, p, false);
                case TextFile.Form.Utf32BE: return TextFile.Utf32At(bytes, p, true);
                default: return (uint)((bytes[p + hi] << 8) | bytes[p + lo]);
            }
        }

        /// <summary>
        /// Whether the unit at p is a CR or LF. A UTF-8 byte 0D or 0A is
        /// always the character itself: it is never part of a sequence, and a
        /// sequence it cuts short becomes U+FFFD before it.
        /// </summary>
        private bool IsLineEnd(int p)
        {
            uint u = UnitAt(p);
            return u == '\r' || u == '\n';
        }

        /// <summary>Where the line that begins at byte p ends: its CR or LF, or the file's end.</summary>
        private int EndOf(int p)
        {
            if (form == TextFile.Form.Utf8)
            {
                for (; p < wholeEnd; p++)
                    if (bytes[p] == '\r' || bytes[p] == '\n') return p;
                return bytes.Length;
            }
            if (width == 2)
            {
                for (; p < wholeEnd; p += 2)
                    if (bytes[p + hi] == 0 && (bytes[p + lo] == '\r' || bytes[p + lo] == '\n')) return p;
                return bytes.Length;
            }
            for (; p < wholeEnd; p += width)
                if (IsLineEnd(p)) return p;
            return bytes.Length;
        }

        /// <summary>Where the line after the one that begins at byte p begins.</summary>
        private int NextStart(int p)
        {
            int end = EndOf(p);
            if (end >= bytes.Length) return bytes.Length;
            if (UnitAt(end) == '\r' && end + 2 * width <= wholeEnd && UnitAt(end + width) == '\n') return end + 2 * width;
            return end + width;
        }

        /// <summary>
        /// Hands the code units of the bytes from..to (a line) to units, a
        /// piece at a time.
        /// </summary>
        private void Decode(int from, int to, UnitSink units)
        {
            switch (form)
            {
                case TextFile.Form.Utf8:
                    DecodeUtf8(from, to, units);
                    return;
                case TextFile.Form.Utf32LE:
                case TextFile.Form.Utf32BE:
                    DecodeUtf32(from, to, units);
                    return;
            }
            int whole = Math.Min(to, wholeEnd);
            for (int p = from; p < whole;)
            {
                int n = Math.Min(Piece, (whole - p) / 2);
                for (int i = 0; i < n; i++, p += 2)
                    piece[i] = (char)((bytes[p + hi] << 8) | bytes[p + lo]);
                units.Take(piece, n);
            }
            if (to > wholeEnd)
            {
                piece[0] = Replacement;
                units.Take(piece, 1);
            }
        }

        /// <summary>
        /// UTF-8, decoded as the whole text would be: a line that ends before
        /// the file does is decoded together with its line end, a character
        /// of its own, so that a sequence cut short by it becomes what it
        /// becomes in the whole text; that character is then dropped. The
        /// last line is decoded to the file's end.
        /// </summary>
        private void DecodeUtf8(int from, int to, UnitSink units)
        {
            if (utf8 == null) utf8 = new UTF8Encoding(false, false).GetDecoder();
            utf8.Reset();
            bool last = to == bytes.Length;
            int stop = last ? to : to + 1;
            for (int p = from; p < stop;)
            {
                // A piece of n bytes gives at most n characters, and those of
                // a sequence the piece before left unfinished.
                int n = Math.Min(Piece, stop - p);
                int made = utf8.GetChars(bytes, p, n, piece, 0, last && p + n == stop);
                p += n;
                if (!last && p == stop) made--;
                units.Take(piece, made);
            }
        }

        private void DecodeUtf32(int from, int to, UnitSink units)
        {
            bool bigEndian = form == TextFile.Form.Utf32BE;
            for (int p = from; p < to;)
            {
                int n = 0;
                for (; n < Piece && p < to; p += 4)
                {
                    uint v = TextFile.Utf32At(bytes, p, bigEndian);
                    if (v >= 0x10000)
                    {
                        v -= 0x10000;
                        piece[n++] = (char)(0xD800 + (v >> 10));
                        piece[n++] = (char)(0xDC00 + (v & 0x3FF));
                    }
                    else
                    {
                        piece[n++] = (char)v;
                    }
                }
                units.Take(piece, n);
            }
        }

        /// <summary>
        /// UTF-16LE as it is stored: the bytes between escapes go to the writer
        /// as they are, each escape as a line feed.
        /// </summary>
        private long WriteUtf16LE(int from, int to, bool unescape, ByteWriter writer)
        {
            int whole = Math.Min(to, wholeEnd);
            long units = 0;
            int copied = from;
            if (unescape)
            {
                for (int p = from; p + 8 <= whole; p += 2)
                {
                    if (!IsEscapeAt(p)) continue;
                    writer.WriteBytes(bytes, copied, p - copied);
                    writer.WriteBytes(LineFeed, 0, 2);
                    units += (p - copied) / 2 + 1;
                    p += 6;
                    copied = p + 2;
                }
            }
            writer.WriteBytes(bytes, copied, whole - copied);
            units += (whole - copied) / 2;
            if (to > wholeEnd)
            {
                writer.WriteBytes(ReplacementBytes, 0, 2);
                units++;
            }
            return units;
        }

        private static readonly byte[] LineFeed = { (byte)'\n', 0 };
        private static readonly byte[] ReplacementBytes = { 0xFD, 0xFF };

        private bool IsEscapeAt(int p)
        {
            return bytes[p] == '{' && bytes[p + 1] == 0 && bytes[p + 2] == '\\' && bytes[p + 3] == 0
                && bytes[p + 4] == 'n' && bytes[p + 5] == 0 && bytes[p + 6] == '}' && bytes[p + 7] == 0;
        }

        /// <summary>What takes a line's code units, a piece at a time.</summary>
        private abstract class UnitSink
        {
            public abstract void Take(char[] units, int n);
        }

        /// <summary>The units gathered in one array, grown as needed.</summary>
        private sealed class Collector : UnitSink
        {
            public char[] Chars;
            public int Length;

            public Collector(char[] room) { Chars = room; }

            public override void Take(char[] units, int n)
            {
                if (Chars.Length - Length < n) Array.Resize(ref Chars, Math.Max(Length + n, 2 * Chars.Length));
                Array.Copy(units, 0, Chars, Length, n);
                Length += n;
            }
        }

        /// <summary>
        /// The units written as UTF-16LE, each "{\n}" turned into a line feed
        /// when unescaping, as <see cref="TextFile.UnescapeLine"/> does: its
        /// four characters differ from each other, so a match that fails
        /// starts again only at the character that failed it.
        /// </summary>
        private sealed class ValueWriter : UnitSink
        {
            private ByteWriter writer;
            private bool unescape;
            private readonly byte[] output = new byte[2 * (Piece + 16)];
            /// <summary>Characters of "{\n}" seen so far and not yet written.</summary>
            private int matched;
            public long Written;

            /// <summary>Starts a line.</summary>
            public void Start(ByteWriter to, bool unescapeIt)
            {
                writer = to;
                unescape = unescapeIt;
                matched = 0;
                Written = 0;
            }

            public override void Take(char[] units, int n)
            {
                int k = 0;
                for (int i = 0; i < n; i++)
                {
                    char c = units[i];
                    if (unescape)
                    {
                        if (c == TextFile.EscapedLineFeed[matched])
                        {
                            if (++matched < 4) continue;
                            matched = 0;
                            c = '\n';
                        }
                        else if (matched > 0)
                        {
                            k = PutMatched(k);
                            if (c == TextFile.EscapedLineFeed[0])
                            {
                                matched = 1;
                                continue;
                            }
                        }
                    }
                    k = Put(k, c);
                }
                Flush(k);
            }

            /// <summary>Writes what is left of a match at the line's end.</summary>
            public void End()
            {
                Flush(PutMatched(0));
            }

            private int PutMatched(int k)
            {
                for (int j = 0; j < matched; j++) k = Put(k, TextFile.EscapedLineFeed[j]);
                matched = 0;
                return k;
            }

            private int Put(int k, char c)
            {
                output[k] = (byte)c;
                output[k + 1] = (byte)(c >> 8);
                return k + 2;
            }

            private void Flush(int k)
            {
                writer.WriteBytes(output, 0, k);
                Written += k / 2;
            }
        }

        /// <summary>The units compared with a text, as far as they agree.</summary>
        private sealed class Comparer : UnitSink
        {
            private readonly string text;
            public int Compared;
            public bool Same = true;

            public Comparer(string text) { this.text = text; }

            public override void Take(char[] units, int n)
            {
                if (!Same) return;
                if (n > text.Length - Compared)
                {
                    Same = false;
                    return;
                }
                for (int i = 0; i < n; i++)
                {
                    if (units[i] != text[Compared + i])
                    {
                        Same = false;
                        return;
                    }
                }
                Compared += n;
            }
        }
    }
}
