using System;
using System.IO;

namespace tool
{
    /// <summary>Reading a file whole into memory, as every input of the tool is read.</summary>
    public static class WholeFile
    {
        /// <summary>
        /// The file's bytes, or null when there is no file at the path or it
        /// cannot be read (a folder, no permission, in use, too large). The
        /// array is <see cref="LargeArray"/>'s; a file that shrinks while it
        /// is read gives the bytes that were there.
        /// </summary>
        public static byte[] TryRead(string path)
        {
            try
            {
                using (var stream = new FileStream(path, FileMode.Open, FileAccess.Read, FileShare.Read, 4096))
                {
                    long length = stream.Length;
                    if (length > int.MaxValue) return null;
                    byte[] bytes = LargeArray.Allocate(length);
                    int filled = 0;
                    while (filled < bytes.Length)
                    {
                        int got = stream.Read(bytes, filled, bytes.Length - filled);
                        if (got <= 0) break;
                        filled += got;
                    }
                    if (filled == bytes.Length) return bytes;
                    var shorter = new byte[filled];
                    Buffer.BlockCopy(bytes, 0, shorter, 0, filled);
                    return shorter;
                }
            }
            catch (IOException) { return null; }
            catch (UnauthorizedAccessException) { return null; }
            catch (ArgumentException) { return null; }
            catch (NotSupportedException) { return null; }
            catch (System.Security.SecurityException) { return null; }
            catch (OutOfMemoryException) { return null; }
        }
    }
}
