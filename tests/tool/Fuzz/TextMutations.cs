using System;
using System.Collections.Generic;
using System.Text;

namespace tool.Tests.Fuzz
{
    /// <summary>
    /// Text files as translators' editors leave them: other encodings, with
    /// and without a byte-order mark, other line ends, lone carriage returns,
    /// lines missing or added, lines edited in every way, and damaged bytes.
    /// </summary>
    public static class TextMutations
    {
        /// <summary>An edit of one line: longer, shorter, empty, other scripts, escaped line feeds, NULs.</summary>
        public static string EditLine(FuzzRandom rng, string line)
        {
            switch (rng.Next(8))
            {
                case 0: return "";
                case 1: return line + " " + RandomPackage.RandomValue(rng, 40).Replace("\n", TextFile.EscapedLineFeed);
                case 2:
                {
                    if (line.Length <= 1) return "x";
                    int cut = rng.Next(line.Length);
                    // Never between the two halves of a surrogate pair.
                    if (cut > 0 && char.IsLowSurrogate(line[cut])) cut--;
                    return line.Substring(0, cut);
                }
                case 3: return "Перевод " + line + " 翻訳";
                case 4: return "first" + TextFile.EscapedLineFeed + "second" + TextFile.EscapedLineFeed;
                case 5: return new string('\u00E9', rng.Next(100, 3000));
                case 6: return "\uD83D\uDE00 \\n stays {n} \t tab";
                default: return RandomPackage.RandomValue(rng, 60).Replace("\n", TextFile.EscapedLineFeed);
            }
        }

        /// <summary>Lines (as they stand in the file) joined with the given line end, and whether the last one ends too.</summary>
        public static string Join(List<string> lines, string lineEnd, bool endLast)
        {
            var sb = new StringBuilder();
            for (int i = 0; i < lines.Count; i++)
            {
                sb.Append(lines[i]);
                if (i < lines.Count - 1 || endLast) sb.Append(lineEnd);
            }
            return sb.ToString();
        }

        /// <summary>The lines of a text, split the plain way: at CR LF, LF and CR, no line after a final line end.</summary>
        public static List<string> Lines(string text)
        {
            var lines = new List<string>(text.Replace("\r\n", "\n").Replace('\r', '\n').Split('\n'));
            if (lines[lines.Count - 1] == "") lines.RemoveAt(lines.Count - 1);
            return lines;
        }

        /// <summary>The text encoded in one of the forms a reader must understand, mark included where it has one.</summary>
        public static byte[] Encode(FuzzRandom rng, string text, out string form)
        {
            switch (rng.Next(7))
            {
                case 0: form = "UTF-8 with mark"; return WithMark(new byte[] { 0xEF, 0xBB, 0xBF }, new UTF8Encoding(false).GetBytes(text));
                case 1: form = "UTF-16BE with mark"; return WithMark(new byte[] { 0xFE, 0xFF }, BigEndian16(text));
                case 2: form = "UTF-32LE with mark"; return WithMark(new byte[] { 0xFF, 0xFE, 0, 0 }, new UTF32Encoding(false, false).GetBytes(text));
                case 3: form = "UTF-32BE with mark"; return WithMark(new byte[] { 0, 0, 0xFE, 0xFF }, new UTF32Encoding(true, false).GetBytes(text));
                case 4: form = "UTF-16LE without mark"; return Little16(text);
                default: form = "UTF-16LE with mark"; return Utf16LE(text);
            }
        }

        /// <summary>Whether text survives a round trip through the encodings of <see cref="Encode"/> unchanged.</summary>
        public static bool IsWellFormed(string text)
        {
            for (int i = 0; i < text.Length; i++)
            {
                if (char.IsHighSurrogate(text[i]))
                {
                    if (i + 1 >= text.Length || !char.IsLowSurrogate(text[i + 1])) return false;
                    i++;
                }
                else if (char.IsLowSurrogate(text[i])) return false;
            }
            // Without a mark, a file whose text begins with U+FEFF or U+FFFE reads as if it had one.
            return !(text.Length > 0 && (text[0] == '\uFEFF' || text[0] == '\uFFFE'));
        }

        /// <summary>Damage below the level of lines: flipped bytes, an odd last byte, a mark alone, garbage.</summary>
        public static string DamageBytes(FuzzRandom rng, ref byte[] bytes)
        {
            switch (rng.Next(6))
            {
                case 5:
                {
                    // Mixed encodings: lines pasted in UTF-8 after UTF-16 ones.
                    byte[] pasted = new UTF8Encoding(false).GetBytes("Pasted line\r\nВставлено\r\n");
                    Array.Resize(ref bytes, bytes.Length + pasted.Length);
                    Buffer.BlockCopy(pasted, 0, bytes, bytes.Length - pasted.Length, pasted.Length);
                    return "UTF-8 lines appended";
                }
                case 0:
                {
                    int n = rng.Next(1, 6);
                    for (int i = 0; i < n && bytes.Length > 0; i++) bytes[rng.Next(bytes.Length)] = (byte)rng.Next(256);
                    return "bytes flipped";
                }
                case 1:
                    Array.Resize(ref bytes, bytes.Length + 1);
                    bytes[bytes.Length - 1] = (byte)rng.Next(256);
                    return "odd last byte";
                case 2:
                    bytes = rng.Pick(new[] { new byte[] { 0xFF, 0xFE }, new byte[] { 0xEF, 0xBB, 0xBF }, new byte[] { 0xFE, 0xFF }, new byte[] { 0xFF } });
                    return "mark alone";
                case 3:
                    bytes = rng.Bytes(rng.Next(1, 200));
                    return "garbage";
                default:
                    if (bytes.Length > 2) Array.Resize(ref bytes, rng.Next(1, bytes.Length));
                    return "cut";
            }
        }

        /// <summary>The text's code units one for one after the mark FF FE, lone surrogates and all.</summary>
        public static byte[] Utf16LE(string text)
        {
            return WithMark(new byte[] { 0xFF, 0xFE }, Little16(text));
        }

        private static byte[] WithMark(byte[] mark, byte[] body)
        {
            var r = new byte[mark.Length + body.Length];
            Buffer.BlockCopy(mark, 0, r, 0, mark.Length);
            Buffer.BlockCopy(body, 0, r, mark.Length, body.Length);
            return r;
        }

        private static byte[] Little16(string text)
        {
            var r = new byte[text.Length * 2];
            for (int i = 0; i < text.Length; i++)
            {
                r[2 * i] = (byte)text[i];
                r[2 * i + 1] = (byte)(text[i] >> 8);
            }
            return r;
        }

        private static byte[] BigEndian16(string text)
        {
            var r = new byte[text.Length * 2];
            for (int i = 0; i < text.Length; i++)
            {
                r[2 * i] = (byte)(text[i] >> 8);
                r[2 * i + 1] = (byte)text[i];
            }
            return r;
        }
    }
}
