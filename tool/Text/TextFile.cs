using System;
using System.Collections.Generic;
using System.Text;

namespace tool
{
    /// <summary>
    /// The text file that the user edits: one line per text, each ended by
    /// CR LF, written as UTF-16LE after the byte-order mark FF FE. A line feed
    /// inside a value travels as the four characters "{\n}".
    /// </summary>
    public static class TextFile
    {
        /// <summary>What a line feed inside a value is written as.</summary>
        public const string EscapedLineFeed = "{\\n}";

        /// <summary>Line end written after every line, the last one included.</summary>
        public const string LineEnd = "\r\n";

        /// <summary>Replaces each line feed by "{\n}"; every other character stays.</summary>
        public static string EscapeLine(string value)
        {
            if (value.IndexOf('\n') < 0) return value;
            return value.Replace("\n", EscapedLineFeed);
        }

        /// <summary>Replaces each "{\n}" by a line feed; every other character stays.</summary>
        public static string UnescapeLine(string line)
        {
            if (line.IndexOf(EscapedLineFeed, StringComparison.Ordinal) < 0) return line;
            return line.Replace(EscapedLineFeed, "\n");
        }

        /// <summary>Appends one value as a line of the file: escaped, then CR LF.</summary>
        public static void AppendLine(StringBuilder collected, string value)
        {
            collected.Append(EscapeLine(value));
            collected.Append(LineEnd);
        }

        /// <summary>
        /// The file's bytes for the collected lines: FF FE, then every UTF-16
        /// code unit of the text as it stands, low byte first. Code units are
        /// copied one for one, so even a lone surrogate read from a package
        /// reaches the file unchanged.
        /// </summary>
        public static byte[] Encode(string collected)
        {
            var bytes = new byte[2 + 2L * collected.Length];
            bytes[0] = 0xFF;
            bytes[1] = 0xFE;
            int p = 2;
            for (int i = 0; i < collected.Length; i++)
            {
                char c = collected[i];
                bytes[p] = (byte)c;
                bytes[p + 1] = (byte)(c >> 8);
                p += 2;
            }
            return bytes;
        }

        /// <summary>
        /// Decodes a text file and splits it into lines. A byte-order mark
        /// selects the encoding and is dropped; without one the file is read
        /// as UTF-16LE. A UTF-32 mark counts only before UTF-32 text. Lines end at CR LF, lone LF and lone CR; a line end at
        /// the very end adds no empty line. Ill-formed input never throws: bad
        /// sequences become U+FFFD. UTF-16, the form extraction writes, is
        /// split straight from the bytes, without the whole text as a string.
        /// </summary>
        public static List<string> ReadLines(byte[] bytes)
        {
            int start;
            Form form = Detect(bytes, out start);
            if (form == Form.Utf16LE || form == Form.Utf16BE)
                return SplitUtf16Lines(bytes, start, form == Form.Utf16BE);
            return SplitLines(Decode(bytes, form, start));
        }

        /// <summary>The file's characters after its byte-order mark.</summary>
        public static string Decode(byte[] bytes)
        {
            int start;
            Form form = Detect(bytes, out start);
            return Decode(bytes, form, start);
        }

        private enum Form { Utf8, Utf16LE, Utf16BE, Utf32LE, Utf32BE }

        /// <summary>The encoding that the byte-order mark selects, and where the text starts.</summary>
        private static Form Detect(byte[] bytes, out int start)
        {
            start = 0;
            if (StartsWith(bytes, 0xEF, 0xBB, 0xBF)) { start = 3; return Form.Utf8; }
            // FF FE 00 00 must be tested before FF FE, which it begins with.
            // It is also how a UTF-16LE file begins whose first line starts
            // with a NUL (a value may hold NULs anywhere but at its end), so
            // it is taken as UTF-32 only when UTF-32 text follows.
            if (StartsWith(bytes, 0xFF, 0xFE, 0x00, 0x00) && IsUtf32Text(bytes, 4, false)) { start = 4; return Form.Utf32LE; }
            if (StartsWith(bytes, 0xFF, 0xFE)) { start = 2; return Form.Utf16LE; }
            if (StartsWith(bytes, 0x00, 0x00, 0xFE, 0xFF) && IsUtf32Text(bytes, 4, true)) { start = 4; return Form.Utf32BE; }
            if (StartsWith(bytes, 0xFE, 0xFF)) { start = 2; return Form.Utf16BE; }
            return Form.Utf16LE;
        }

        private static string Decode(byte[] bytes, Form form, int start)
        {
            switch (form)
            {
                case Form.Utf8: return new UTF8Encoding(false, false).GetString(bytes, start, bytes.Length - start);
                case Form.Utf32LE: return DecodeUtf32(bytes, start, false);
                case Form.Utf32BE: return DecodeUtf32(bytes, start, true);
                case Form.Utf16BE: return DecodeUtf16(bytes, start, true);
                default: return DecodeUtf16(bytes, start, false);
            }
        }

        /// <summary>
        /// SplitLines(DecodeUtf16(bytes, start, bigEndian)) without that
        /// string: each line is made from its code units, and an odd last byte
        /// is a U+FFFD at the end of the last line.
        /// </summary>
        private static List<string> SplitUtf16Lines(byte[] bytes, int start, bool bigEndian)
        {
            int units = (bytes.Length - start) / 2;
            bool oddByte = ((bytes.Length - start) & 1) != 0;
            int hi = bigEndian ? 0 : 1;
            var lines = new List<string>();
            char[] line = new char[256];
            int length = 0;
            for (int i = 0, p = start; i < units; i++, p += 2)
            {
                char c = (char)((bytes[p + hi] << 8) | bytes[p + 1 - hi]);
                if (c == '\r' || c == '\n')
                {
                    lines.Add(new string(line, 0, length));
                    length = 0;
                    if (c == '\r' && i + 1 < units && bytes[p + 2 + hi] == 0 && bytes[p + 3 - hi] == '\n')
                    {
                        i++;
                        p += 2;
                    }
                    continue;
                }
                if (length == line.Length) Array.Resize(ref line, 2 * length);
                line[length++] = c;
            }
            if (oddByte)
            {
                if (length == line.Length) Array.Resize(ref line, length + 1);
                line[length++] = '\uFFFD';
            }
            if (length > 0) lines.Add(new string(line, 0, length));
            return lines;
        }

        /// <summary>Splits at CR LF, lone LF and lone CR; no empty line after a final line end.</summary>
        public static List<string> SplitLines(string text)
        {
            return new List<string>(new TextLines(text));
        }

        private static bool StartsWith(byte[] bytes, params byte[] mark)
        {
            if (bytes.Length < mark.Length) return false;
            for (int i = 0; i < mark.Length; i++)
                if (bytes[i] != mark[i]) return false;
            return true;
        }

        /// <summary>
        /// Whether the bytes from start on are whole UTF-32 units, each a
        /// character of the planes that hold text: 0 to 3, and the tags and
        /// variation selectors of plane 14. UTF-16 read in groups of four
        /// bytes fails this: its CR LF (0D 00 0A 00) reads as U+A000D.
        /// </summary>
        private static bool IsUtf32Text(byte[] bytes, int start, bool bigEndian)
        {
            if ((bytes.Length - start) % 4 != 0) return false;
            for (int p = start; p < bytes.Length; p += 4)
            {
                uint v = Utf32At(bytes, p, bigEndian);
                if (v >= 0xD800 && v <= 0xDFFF) return false;
                if (v > 0x3FFFF && (v < 0xE0000 || v > 0xE0FFF)) return false;
            }
            return true;
        }

        private static uint Utf32At(byte[] bytes, int p, bool bigEndian)
        {
            return bigEndian
                ? ((uint)bytes[p] << 24) | ((uint)bytes[p + 1] << 16) | ((uint)bytes[p + 2] << 8) | bytes[p + 3]
                : bytes[p] | ((uint)bytes[p + 1] << 8) | ((uint)bytes[p + 2] << 16) | ((uint)bytes[p + 3] << 24);
        }

        /// <summary>
        /// UTF-16 code units taken one for one (an unpaired surrogate stays as
        /// it is, as extraction wrote it); an odd last byte becomes U+FFFD.
        /// </summary>
        private static string DecodeUtf16(byte[] bytes, int start, bool bigEndian)
        {
            int units = (bytes.Length - start) / 2;
            bool oddByte = ((bytes.Length - start) & 1) != 0;
            var chars = new char[units + (oddByte ? 1 : 0)];
            int p = start;
            for (int i = 0; i < units; i++)
            {
                chars[i] = bigEndian
                    ? (char)((bytes[p] << 8) | bytes[p + 1])
                    : (char)(bytes[p] | (bytes[p + 1] << 8));
                p += 2;
            }
            if (oddByte) chars[units] = '\uFFFD';
            return new string(chars);
        }

        /// <summary>UTF-32 of either byte order, already known to hold only characters.</summary>
        private static string DecodeUtf32(byte[] bytes, int start, bool bigEndian)
        {
            var sb = new StringBuilder((bytes.Length - start) / 4);
            for (int p = start; p < bytes.Length; p += 4)
            {
                uint v = Utf32At(bytes, p, bigEndian);
                if (v >= 0x10000)
                {
                    v -= 0x10000;
                    sb.Append((char)(0xD800 + (v >> 10)));
                    sb.Append((char)(0xDC00 + (v & 0x3FF)));
                }
                else
                {
                    sb.Append((char)v);
                }
            }
            return sb.ToString();
        }
    }
}
