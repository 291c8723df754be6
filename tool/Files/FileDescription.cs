// One command-line argument taken as a file: full path, name, directory, extension.
using System;
using System.IO;

namespace tool
{
    /// <summary>
    /// One command-line argument taken as a file: its full path, its name
    /// (the final component, used in every message), its directory and its
    /// extension (from the name's last "." on, dot included; empty without
    /// a dot). An argument that is not a valid path still has a name, taken
    /// from the argument as given, and <see cref="IsValidPath"/> is false.
    /// </summary>
    public sealed class FileDescription
    {
        public string Argument { get; private set; }
        public string FullPath { get; private set; }
        public string Name { get; private set; }
        public string Directory { get; private set; }
        public string Extension { get; private set; }
        public bool IsValidPath { get; private set; }

        private FileDescription() { }

        public static FileDescription Describe(string argument)
        {
            var file = new FileDescription();
            file.Argument = argument ?? "";
            try
            {
                string full = TrimTrailingSeparators(Path.GetFullPath(file.Argument));
                file.FullPath = full;
                file.Name = Path.GetFileName(full);
                file.Directory = Path.GetDirectoryName(full) ?? full;
                file.IsValidPath = true;
            }
            catch (Exception)
            {
                // Empty, illegal characters, too long, unsupported form: no
                // path at all, but the messages still need a name.
                file.FullPath = file.Argument;
                file.Name = LastComponent(file.Argument);
                file.Directory = "";
                file.IsValidPath = false;
            }
            file.Extension = ExtensionOf(file.Name);
            return file;
        }

        /// <summary>The name's part from its last "." on, or "" when it has no dot.</summary>
        public static string ExtensionOf(string name)
        {
            int dot = name.LastIndexOf('.');
            return dot < 0 ? "" : name.Substring(dot);
        }

        /// <summary>
        /// Lower case for the letters A to Z only, so that the comparison of
        /// extensions does not depend on the user's locale.
        /// </summary>
        public static string LowerAscii(string text)
        {
            var chars = text.ToCharArray();
            for (int i = 0; i < chars.Length; i++)
            {
                if (chars[i] >= 'A' && chars[i] <= 'Z') chars[i] = (char)(chars[i] + ('a' - 'A'));
            }
            return new string(chars);
        }

        private static bool IsSeparator(char c)
        {
            return c == Path.DirectorySeparatorChar || c == Path.AltDirectorySeparatorChar;
        }

        // "dir/" names dir; the root itself stays as it is.
        private static string TrimTrailingSeparators(string path)
        {
            string root = Path.GetPathRoot(path) ?? "";
            int end = path.Length;
            while (end > root.Length && IsSeparator(path[end - 1])) end--;
            return path.Substring(0, end);
        }

        private static string LastComponent(string argument)
        {
            int end = argument.Length;
            while (end > 0 && IsSeparator(argument[end - 1])) end--;
            int start = end;
            while (start > 0 && !IsSeparator(argument[start - 1]) && argument[start - 1] != Path.VolumeSeparatorChar) start--;
            return argument.Substring(start, end - start);
        }
    }
}
