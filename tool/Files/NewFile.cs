// Writing an output file that must not replace a file of the same name.
using System;
using System.IO;
using System.Runtime.InteropServices;

namespace tool
{
    /// <summary>
    /// Writes a file whole, as <see cref="SafeFile"/> does (a new file beside
    /// it, flushed to disk, then put in place in one step), but never over an
    /// existing file: on Linux the unnamed file is linked to the name, and a
    /// temporary file is hard-linked to it on Unix (both fail when the name
    /// exists) and moved without the replace flag on Windows, so a file that
    /// appears in the meantime is kept too. On a Unix file system without
    /// hard links the name is tested just before the rename.
    /// </summary>
    public static class NewFile
    {
        private const int EExist = 17, EPerm = 1, ENoSys = 38, ENotSup = 95;
        private const int WindowsFileExists = 80, WindowsAlreadyExists = 183, WindowsAccessDenied = 5;
        private const int MoveFileWriteThrough = 0x8;

        [DllImport("libc", EntryPoint = "link", SetLastError = true)]
        private static extern int UnixLink(string oldPath, string newPath);

        [DllImport("kernel32.dll", EntryPoint = "MoveFileExW", CharSet = CharSet.Unicode, SetLastError = true)]
        private static extern bool WindowsMoveFileEx(string existingFileName, string newFileName, int flags);

        /// <summary>Whether anything (a file, a folder, a link) has that name.</summary>
        public static bool Exists(string path)
        {
            long length;
            return InputFile.Probe(path, out length) != InputFile.Kind.Missing || File.Exists(path) || Directory.Exists(path);
        }

        /// <summary>
        /// Writes what writeContent puts into the stream as the file at path;
        /// false, with nothing written, when something of that name exists.
        /// Failures reach the caller as with <see cref="SafeFile.Write"/>, and
        /// no temporary file is left behind.
        /// </summary>
        public static bool Write(string path, Action<Stream> writeContent)
        {
            string full = Path.GetFullPath(path);
            if (Exists(full)) return false;
            SafeFile.RemoveLeftovers(full);
            using (OutputFile output = OutputFile.Create(full, SafeFile.WriteBufferBytes))
            {
                writeContent(output.Stream);
                output.FlushToDisk();
                return output.IsUnnamed ? output.LinkAs(full) : Place(output.TemporaryName(), full);
            }
        }

        /// <summary>Gives the temporary file the target's name unless that exists; the temporary name may remain.</summary>
        private static bool Place(string temp, string target)
        {
            if (Platform.IsUnix)
            {
                if (UnixLink(temp, target) == 0) return true;
                int errno = Marshal.GetLastWin32Error();
                if (errno == EExist) return false;
                if (errno != EPerm && errno != ENoSys && errno != ENotSup)
                    throw new IOException("could not create '" + target + "' (error " + errno + ")");
                if (Exists(target)) return false;
                SafeFile.Replace(temp, target);
                return true;
            }
            if (WindowsMoveFileEx(temp, target, MoveFileWriteThrough)) return true;
            int code = Marshal.GetLastWin32Error();
            if (code == WindowsFileExists || code == WindowsAlreadyExists) return false;
            string message = "could not create '" + target + "' (error " + code + ")";
            if (code == WindowsAccessDenied) throw new UnauthorizedAccessException(message);
            throw new IOException(message);
        }
    }
}
