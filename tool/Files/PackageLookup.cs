// Finding the package beside a text file when its name differs in case only.
using System;
using System.IO;

namespace tool
{
    /// <summary>
    /// The package a text file belongs to is the file of the expected name
    /// beside it. Windows' file systems find it in any case; on Unix, when no
    /// file has that exact name, it is the one file of the folder whose name
    /// equals it ignoring case (ordinal), as "GAME.UPK" for "GAME.txt".
    /// </summary>
    public static class PackageLookup
    {
        public enum Outcome { Exact, FoundInOtherCase, Missing, Ambiguous }

        /// <summary>
        /// Where the package of expectedPath is: expectedPath itself (Exact, or
        /// Missing when nothing has that name), or the one file of its folder
        /// named like it in another case (found). With Ambiguous, found is one
        /// of the names that match.
        /// </summary>
        public static Outcome Find(string expectedPath, out string found)
        {
            found = expectedPath;
            if (File.Exists(expectedPath) || Directory.Exists(expectedPath)) return Outcome.Exact;
            if (!Platform.IsUnix) return Outcome.Missing;
            string folder = Path.GetDirectoryName(expectedPath);
            string name = Path.GetFileName(expectedPath);
            string match = null;
            try
            {
                foreach (string path in Directory.EnumerateFiles(folder))
                {
                    if (!string.Equals(Path.GetFileName(path), name, StringComparison.OrdinalIgnoreCase)) continue;
                    if (match != null)
                    {
                        found = match;
                        return Outcome.Ambiguous;
                    }
                    match = path;
                }
            }
            catch (Exception e) when (e is IOException || e is UnauthorizedAccessException)
            {
                return Outcome.Missing;
            }
            if (match == null) return Outcome.Missing;
            found = match;
            return Outcome.FoundInOtherCase;
        }
    }
}
