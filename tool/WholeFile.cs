using System;
using System.IO;

namespace tool
{
    /// <summary>Reading a file whole into memory, as every input of the tool is read.</summary>
    public static class WholeFile
    {
        /// <summary>
        /// The file's bytes, or null when there is no file at the path or it
        /// cannot be read (a folder, no permission, in use, too large).
        /// </summary>
        public static byte[] TryRead(string path)
        {
            try
            {
                return File.ReadAllBytes(path);
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
