// The text file's format: its line ends, the escape of a line feed, and the encodings a file may come back in.
using System;
using System.Text;

namespace tool
{
    /// <summary>
    /// The text file that the user edits: one line per text, each ended by
    /// CR LF, written as UTF-16LE after the byte-order mark FF FE
    /// (<see cref="CollectedText"/> writes it). A line feed inside a value
    /// travels as the four characters "{\n}". A file comes back in whatever
    /// encoding its byte-order mark names (<see cref="TextLines"/> splits it).
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

        /// <summary>
        /// Whether a file without a byte-order mark (read as UTF-16LE) is
        /// rather UTF-8 text, as many editors save by default: no mark, valid
        /// UTF-8, and an odd length or a line feed as UTF-8 but none among
        /// its UTF-16 units. Linear, without copies.
        /// </summary>
        public static bool IsUtf8WithoutMark(byte[] file)
        {
            int start;
            if (Detect(file, out start) != Form.Utf16LE || start != 0) return false;
            bool utf8LineFeed = Array.IndexOf(file, (byte)'\n') >= 0;
            bool oddLength = (file.Length & 1) != 0;
            if (!oddLength && !utf8LineFeed) return false;
            if (!oddLength)
                for (int i = 0; i + 1 < file.Length; i += 2)
                    if (file[i] == (byte)'\n' && file[i + 1] == 0) return false;
            try
            {
                StrictUtf8.GetCharCount(file);
                return true;
            }
            catch (DecoderFallbackException)
            {
                return false;
            }
        }

        private static readonly Encoding StrictUtf8 = new UTF8Encoding(false, true);

        /// <summary>The encodings a text file may come back in.</summary>
        public enum Form { Utf8, Utf16LE, Utf16BE, Utf32LE, Utf32BE }

        /// <summary>
        /// The encoding that the byte-order mark selects, and where the text
        /// starts; without a mark the file is UTF-16LE. A UTF-32 mark counts
        /// only before UTF-32 text, so a UTF-32 text is whole units, each a
        /// character (no surrogate, nothing beyond U+10FFFF).
        /// </summary>
        public static Form Detect(byte[] bytes, out int start)
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

        /// <summary>The UTF-32 unit at p.</summary>
        public static uint Utf32At(byte[] bytes, int p, bool bigEndian)
        {
            return bigEndian
                ? ((uint)bytes[p] << 24) | ((uint)bytes[p + 1] << 16) | ((uint)bytes[p + 2] << 8) | bytes[p + 3]
                : bytes[p] | ((uint)bytes[p + 1] << 8) | ((uint)bytes[p + 2] << 16) | ((uint)bytes[p + 3] << 24);
        }
    }
}
