// Whether the runtime can work with files at all.
using System;
using System.IO;

namespace tool
{
    /// <summary>
    /// Whether the runtime can work with files at all. Its class library does
    /// file work through a native helper library; when that cannot be loaded,
    /// every file operation fails with the same wrapped DllNotFoundException,
    /// and some of them (FileInfo.Exists) swallow it and answer "no file".
    /// Such a failure is the runtime's, never the user's file's.
    /// </summary>
    public static class FileSystemCheck
    {
        /// <summary>Whether the exception, or one it wraps, is a library that could not be loaded.</summary>
        public static bool IsMissingLibrary(Exception e)
        {
            for (; e != null; e = e.InnerException)
                if (e is DllNotFoundException) return true;
            return false;
        }

        /// <summary>
        /// Asks the file system about the path through a call that lets a
        /// missing library show; true when the runtime cannot work with files.
        /// </summary>
        public static bool Unavailable(string path)
        {
            try
            {
                File.Exists(path);
                return false;
            }
            catch (Exception e)
            {
                return IsMissingLibrary(e);
            }
        }
    }
}
