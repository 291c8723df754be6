// Decoding of the text stored in packages: names and string values.
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

        /// <summary>
        /// Decodes a string value of stored length L whose byteCount bytes
        /// start at offset: 8-bit text for L above 0, UTF-16 below.
        /// </summary>
        public static string Decode(byte[] data, long offset, int length, long byteCount)
        {
            return length >= 0
                ? DecodeEightBit(data, (int)offset, (int)byteCount)
                : DecodeUtf16(data, (int)offset, (int)(byteCount / 2));
        }

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
