// Writing an output file whole so that it is either all new or all as before.
using System;
using System.IO;
using System.Text;
using System.Runtime.InteropServices;

namespace tool
{
    /// <summary>
    /// Writes an output file so that it is either wholly the new content or
    /// wholly what was there before: the bytes go to a new file in the same
    /// folder (<see cref="OutputFile"/>: on Linux one without a name), are
    /// flushed to disk, and the file is then renamed from a temporary name
    /// over the target in one step (rename(2) on Unix, MoveFileEx on
    /// Windows, both of which replace an existing target atomically). A
    /// temporary file that a process ended mid-write left behind is removed
    /// by the next write of the same target.
    /// </summary>
    public static class SafeFile
    {
        /// <summary>The write buffer of a whole file's writer, as the runtime's file streams have it.</summary>
        internal const int WriteBufferBytes = 4096;

        private const int MoveFileReplaceExisting = 0x1;
        private const int MoveFileWriteThrough = 0x8;

        [DllImport("libc", EntryPoint = "rename", SetLastError = true)]
        private static extern int UnixRename(string oldPath, string newPath);

        [DllImport("kernel32.dll", EntryPoint = "MoveFileExW", CharSet = CharSet.Unicode, SetLastError = true)]
        private static extern bool WindowsMoveFileEx(string existingFileName, string newFileName, int flags);

        /// <summary>
        /// Writes what writeContent puts into the stream it is given as the
        /// file at path, creating it or replacing it. On failure an
        /// IOException or UnauthorizedAccessException reaches the caller (an
        /// exception from writeContent fails the write in the same way), an
        /// existing file at path is unchanged and no temporary file is left
        /// behind.
        /// </summary>
        public static void Write(string path, Action<Stream> writeContent)
        {
            string full = Path.GetFullPath(path);
            RemoveLeftovers(full);
            using (OutputFile output = OutputFile.Create(full, WriteBufferBytes))
            {
                writeContent(output.Stream);
                output.FlushToDisk();
                Replace(output, full);
                output.Placed();
            }
        }

        /// <summary>
        /// Gives the new file the permission bits of the file it replaces
        /// (Unix), so that a file the user made readable to others, or kept
        /// private, stays so. Without a file to replace, the new file has the
        /// usual bits the user's umask leaves.
        /// </summary>
        private static void KeepPermissions(string target, Func<int, int> chmod)
        {
            if (!Platform.IsUnix) return;
            try
            {
                UnixFileCalls.Status status;
                int errno;
                if (UnixFileCalls.StatusOf(target, out status, out errno) && status.IsRegular
                    && chmod(status.PermissionBits) != 0)
                    throw new IOException("could not give the new file the permissions of '" + target + "'");
            }
            catch (Exception e) when (e is DllNotFoundException || e is EntryPointNotFoundException) { }
        }

        /// <summary>The longest name of one file that file systems take: bytes on Unix, UTF-16 units on Windows.</summary>
        public const int MaxNameLength = 255;

        /// <summary>Whether the file name of fullPath is one that file systems take.</summary>
        public static bool NameFits(string fullPath)
        {
            string name = Path.GetFileName(fullPath);
            return (Platform.IsWindows ? name.Length : Encoding.UTF8.GetByteCount(name)) <= MaxNameLength;
        }

        /// <summary>A name for the temporary file, beside the target and hidden on Unix.</summary>
        public static string TemporaryPathFor(string fullPath)
        {
            string folder = Path.GetDirectoryName(fullPath);
            string random = Guid.NewGuid().ToString("N").Substring(0, 12);
            return Path.Combine(folder, TemporaryPrefixFor(Path.GetFileName(fullPath)) + random + ".tmp");
        }

        /// <summary>
        /// Longest part of a target's name that a temporary name repeats, in
        /// UTF-8 bytes: with the 18 characters around it the temporary name
        /// stays within the 255 bytes that file systems allow for a name,
        /// whatever the target's own length.
        /// </summary>
        private const int MaxRepeatedNameBytes = 200;

        /// <summary>"." + the target's name (cut short if need be) + ".".</summary>
        private static string TemporaryPrefixFor(string name)
        {
            int bytes = 0, keep = 0;
            while (keep < name.Length)
            {
                int width = char.IsHighSurrogate(name[keep]) && keep + 1 < name.Length ? 2 : 1;
                int size = Encoding.UTF8.GetByteCount(name.ToCharArray(keep, width));
                if (bytes + size > MaxRepeatedNameBytes) break;
                bytes += size;
                keep += width;
            }
            return "." + name.Substring(0, keep) + ".";
        }

        /// <summary>
        /// Removes the temporary files that earlier writes of the same target
        /// left behind because their process was ended in the middle of the
        /// write: exactly the names TemporaryPathFor gives for it. What cannot
        /// be removed stays.
        /// </summary>
        public static void RemoveLeftovers(string fullPath)
        {
            string prefix = TemporaryPrefixFor(Path.GetFileName(fullPath));
            string[] found;
            try
            {
                found = Directory.GetFiles(Path.GetDirectoryName(fullPath), "*.tmp");
            }
            catch (IOException) { return; }
            catch (UnauthorizedAccessException) { return; }
            foreach (string path in found)
            {
                if (IsTemporaryName(Path.GetFileName(path), prefix)) RemoveLeftover(path);
            }
        }

        /// <summary>Whether name is prefix, 12 lower-case hexadecimal digits and ".tmp".</summary>
        private static bool IsTemporaryName(string name, string prefix)
        {
            if (name.Length != prefix.Length + 16 || !name.StartsWith(prefix, StringComparison.Ordinal)
                || !name.EndsWith(".tmp", StringComparison.Ordinal))
                return false;
            for (int i = prefix.Length; i < prefix.Length + 12; i++)
            {
                char c = name[i];
                if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
            }
            return true;
        }

        /// <summary>
        /// Moves the flushed output over target in one step, replacing it if
        /// it exists; on Unix the output first takes the permission bits of
        /// the file it replaces, so that an unnamed file's naming and its
        /// rename follow each other at once.
        /// </summary>
        internal static void Replace(OutputFile output, string target)
        {
            KeepPermissions(target, output.SetPermissions);
            Move(output.TemporaryName(), target);
        }

        /// <summary>Renames source over target in one step, replacing it if it exists; on Unix source first takes the permission bits of the file it replaces.</summary>
        internal static void Replace(string source, string target)
        {
            KeepPermissions(target, bits => UnixFileCalls.Chmod(source, bits));
            Move(source, target);
        }

        private static void Move(string source, string target)
        {
            if (Platform.IsUnix)
            {
                if (UnixRename(source, target) != 0)
                    throw Failure(Marshal.GetLastWin32Error(), target, 1, 13);
            }
            else
            {
                if (!WindowsMoveFileEx(source, target, MoveFileReplaceExisting | MoveFileWriteThrough))
                    throw Failure(Marshal.GetLastWin32Error(), target, 5, 5);
            }
        }

        private static Exception Failure(int code, string target, int denied1, int denied2)
        {
            string message = "could not replace '" + target + "' (error " + code + ")";
            if (code == denied1 || code == denied2) return new UnauthorizedAccessException(message);
            return new IOException(message);
        }

        /// <summary>
        /// Removes a temporary file unless another run is writing it: on Unix
        /// its writer holds its lock (<see cref="PendingFile"/>); on Windows
        /// the writer's open file cannot be deleted.
        /// </summary>
        private static void RemoveLeftover(string path)
        {
            if (!Platform.IsUnix)
            {
                TryDelete(path);
                return;
            }
            try { UnixFileCalls.RemoveIfUnlocked(path); }
            catch (Exception e) when (e is DllNotFoundException || e is EntryPointNotFoundException) { }
        }

        internal static void TryDelete(string path)
        {
            try
            {
                if (File.Exists(path)) File.Delete(path);
            }
            catch (IOException) { }
            catch (UnauthorizedAccessException) { }
        }
    }
}
