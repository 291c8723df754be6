// The Text tool's entry point: the arguments dispatched, refusals and failures reported, outputs written.
using System;

namespace tool
{
    /// <summary>
    /// The Text tool: extracts the texts of packages into text files and
    /// compiles edited text files back into packages. Static operations only.
    /// </summary>
    public static partial class Scrivel
    {
        /// <summary>
        /// The option that turns packages and text files into PO files, matched
        /// exactly, anywhere among the arguments, for the whole run.
        /// </summary>
        public const string PoOption = "/po";

        /// <summary>
        /// Prints the banner, handles each argument by its extension, one
        /// after the other, and ends with the closing mark. A failure with one
        /// file is reported on one line and the run goes on; only the
        /// additional-data error of import ends the run early. With
        /// <see cref="PoOption"/> among the arguments, packages give PO
        /// templates and text files PO files.
        /// </summary>
        public static void Main(string[] args)
        {
            ConsoleOut.WriteLine(Messages.BannerRule);
            ConsoleOut.WriteLine(Messages.BannerTitle);
            ConsoleOut.WriteLine(Messages.BannerAuthor);
            ConsoleOut.WriteLine(Messages.BannerRule);

            bool po = false;
            var files = new System.Collections.Generic.List<string>();
            foreach (string argument in args ?? new string[0])
            {
                if (argument == PoOption) po = true;
                else files.Add(argument);
            }
            if (files.Count == 0)
            {
                ConsoleOut.WriteLine(Messages.Usage);
            }
            else
            {
                foreach (string file in files)
                {
                    if (!handleArgument(file, po)) return;
                }
            }
            ConsoleOut.WriteLast(Messages.Done);
        }

        /// <summary>
        /// Handles one argument to completion; false when the run must end.
        /// Nothing that a file holds may end the run otherwise. An exception
        /// that is no refusal is a fault of the tool, not of the file: it is
        /// reported as such on one line (with the exception itself when
        /// SCRIVEL_TRACE is 1) and the run goes on.
        /// </summary>
        private static bool handleArgument(string argument, bool po)
        {
            FileDescription file = FileDescription.Describe(argument);
            try
            {
                dispatch(file, po);
            }
            catch (OutOfMemoryException)
            {
                // The input took more memory than there is: the file, not the tool, is at fault.
                reportOnFreshLine(string.Format(Messages.TooLarge, file.Name));
            }
            catch (RefusalException refusal) when (refusal.EndsRun)
            {
                // Already reported by the operation that met it.
                return false;
            }
            catch (Exception e) when (FileSystemCheck.IsMissingLibrary(e))
            {
                reportOnFreshLine(string.Format(Messages.NoFileAccess, file.Name));
            }
            catch (Exception e)
            {
                reportOnFreshLine(string.Format(Messages.InternalError, file.Name));
                if (Environment.GetEnvironmentVariable("SCRIVEL_TRACE") == "1")
                    ConsoleOut.WriteLine(e.ToString().Replace("\r\n", "\n").Replace("\n", "\r\n"));
            }
            return true;
        }

        /// <summary>
        /// Does the work on one file. A refusal raised by it ends that work
        /// and is reported here, on one line that names the package
        /// (packageName) or the text file (textName) as its reason concerns;
        /// one that ends the run is passed on after its line.
        /// </summary>
        private static void reportRefusals(string packageName, string textName, Action work)
        {
            try
            {
                work();
            }
            catch (RefusalException refusal)
            {
                reportOnFreshLine(refusalLine(refusal.Reason, refusal.FileName ?? packageName, refusal.FileName ?? textName));
                if (refusal.EndsRun) throw;
            }
        }

        /// <summary>The one console line of each refusal.</summary>
        public static string refusalLine(Refusal reason, string packageName, string textName)
        {
            switch (reason)
            {
                case Refusal.NotSupported: return string.Format(Messages.NotSupported, packageName);
                case Refusal.UnsupportedGame: return Messages.UnsupportedGame;
                case Refusal.Compressed: return string.Format(Messages.Compressed, packageName);
                case Refusal.NoText: return string.Format(Messages.NoText, packageName);
                case Refusal.TooFewLines: return string.Format(Messages.FewerLines, textName);
                case Refusal.NotFound: return string.Format(Messages.NotFound, packageName);
                case Refusal.TooLarge: return string.Format(Messages.TooLarge, packageName);
                case Refusal.CouldNotRead: return string.Format(Messages.CouldNotRead, packageName);
                case Refusal.AdditionalData: return Messages.AdditionalDataError;
                case Refusal.TablesOutOfOrder: return string.Format(Messages.TablesOutOfOrder, packageName);
                case Refusal.NoExports: return string.Format(Messages.NoExports, packageName);
                case Refusal.OutputTooLarge: return string.Format(Messages.OutputTooLarge, packageName);
                case Refusal.NotUtf16: return string.Format(Messages.NotUtf16, textName);
                case Refusal.NameTooLong: return string.Format(Messages.NameTooLong, packageName);
                default: return string.Format(Messages.Damaged, packageName);
            }
        }

        private static void dispatch(FileDescription file, bool po)
        {
            string extension = FileDescription.LowerAscii(file.Extension);
            if (!file.IsValidPath)
            {
                ConsoleOut.WriteLine(string.Format(Messages.NotSupported, file.Name));
            }
            else if (FileSystemCheck.Unavailable(file.FullPath))
            {
                ConsoleOut.WriteLine(string.Format(Messages.NoFileAccess, file.Name));
            }
            else if (extension == ".upk")
            {
                if (po) extractTemplate(file);
                else extractAll(file);
            }
            else if (extension == ".txt" || extension == ".po")
            {
                long length;
                InputFile.Kind kind = InputFile.Probe(file.FullPath, out length);
                if (kind == InputFile.Kind.Missing)
                    ConsoleOut.WriteLine(string.Format(Messages.NotFound, file.Name));
                else if (kind == InputFile.Kind.NotRegular)
                    ConsoleOut.WriteLine(string.Format(Messages.NotSupported, file.Name));
                else if (length <= 0)
                    ConsoleOut.WriteLine(string.Format(Messages.ZeroBytes, file.Name));
                else if (extension == ".po")
                    compilePo(file);
                else if (po)
                    translateTextFile(file);
                else
                    importAll(file);
            }
            else
            {
                ConsoleOut.WriteLine(string.Format(Messages.NotSupported, file.Name));
            }
        }

        /// <summary>
        /// Writes an output file whole through <see cref="SafeFile"/>; when
        /// that fails (no room, no permission, no such folder) the file is
        /// named on one line, an earlier file of that name stays as it was,
        /// and false is returned.
        /// </summary>
        private static bool writeOutput(string path, System.Action<System.IO.Stream> content)
        {
            return writeOutput(path, () => SafeFile.Write(path, content));
        }

        /// <summary>The same for a write of the caller's own, such as <see cref="PendingFile.Commit"/>.</summary>
        private static bool writeOutput(string path, System.Action write)
        {
            try
            {
                write();
                return true;
            }
            catch (System.Exception e)
            {
                if (!(e is System.IO.IOException || e is System.UnauthorizedAccessException
                    || e is System.NotSupportedException || e is System.ArgumentException
                    || e is System.Security.SecurityException))
                    throw;
                ConsoleOut.WriteLine(string.Format(Messages.CouldNotWrite, System.IO.Path.GetFileName(path)));
                return false;
            }
        }

        /// <summary>
        /// Draws the progress bar at column left on the current terminal
        /// (<see cref="ProgressBar.Draw"/>).
        /// </summary>
        public static void progressBar(int left, int value, int total)
        {
            ProgressBar.Draw(Terminal.Current, left, value, total);
        }

        /// <summary>
        /// Prints the walks' "Error: {0}" line for a name or type reference
        /// that is not in the name table, where the cursor stands.
        /// </summary>
        private static void printWalkError(long offset)
        {
            ConsoleOut.WriteLine(Messages.WalkErrorAt(offset));
        }

        /// <summary>
        /// Prints a failure's line. It may come while a progress line is
        /// still open; it then starts a line of its own, in the user's colours.
        /// </summary>
        private static void reportOnFreshLine(string message)
        {
            if (!ConsoleOut.AtLineStart)
            {
                Terminal.Current.ResetColours();
                ConsoleOut.WriteLine("");
            }
            ConsoleOut.WriteLine(message);
        }
    }
}
