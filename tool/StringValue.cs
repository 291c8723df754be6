using System.Text;

namespace tool
{
    /// <summary>
    /// Decoding of the text stored in packages. 8-bit text is UTF-8 in which
    /// ill-formed sequences become U+FFFD; UTF-16 text is taken code unit for
    /// code unit, so even an unpaired surrogate survives. Every U+0000 at the
    /// end of the decoded text (the terminator and any more) is removed;
    /// NULs elsewhere stay.
    /// </summary>
    public static class StringValue
    {
        private static readonly UTF8Encoding Utf8 = new UTF8Encoding(false, false);

        /// <summary>Decodes count bytes of 8-bit text starting at offset.</summary>
        public static string DecodeEightBit(byte[] data, int offset, int count)
        {
            int end = offset + count;
            while (end > offset && data[end - 1] == 0) end--;
            return end == offset ? string.Empty : Utf8.GetString(data, offset, end - offset);
        }

        /// <summary>Decodes units UTF-16LE code units starting at offset.</summary>
        public static string DecodeUtf16(byte[] data, int offset, int units)
        {
            int end = units;
            while (end > 0 && data[offset + 2 * end - 2] == 0 && data[offset + 2 * end - 1] == 0) end--;
            var chars = new char[end];
            for (int i = 0, p = offset; i < end; i++, p += 2)
                chars[i] = (char)(data[p] | (data[p + 1] << 8));
            return new string(chars);
        }
    }
}
