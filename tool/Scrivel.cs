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
        /// Prints the banner, handles each argument by its extension, one
        /// after the other, and ends with the closing mark. A failure with one
        /// file is reported on one line and the run goes on; only the
        /// additional-data error of import ends the run early.
        /// </summary>
        public static void Main(string[] args)
        {
            ConsoleOut.WriteLine(Messages.BannerRule);
            ConsoleOut.WriteLine(Messages.BannerTitle);
            ConsoleOut.WriteLine(Messages.BannerAuthor);
            ConsoleOut.WriteLine(Messages.BannerRule);

            if (args == null || args.Length == 0)
            {
                ConsoleOut.WriteLine(Messages.Usage);
            }
            else
            {
                foreach (string argument in args)
                {
                    if (!handleArgument(argument)) return;
                }
            }
            ConsoleOut.WriteLast(Messages.Done);
        }

        /// <summary>
        /// Handles one argument to completion; false when the run must end.
        /// Nothing that a file holds may end the run otherwise: whatever goes
        /// wrong with it is reported as one line naming it.
        /// </summary>
        private static bool handleArgument(string argument)
        {
            FileDescription file = FileDescription.Describe(argument);
            try
            {
                dispatch(file);
            }
            catch (InputFileException refused)
            {
                reportOnFreshLine(refused.Line);
            }
            catch (OutOfMemoryException)
            {
                reportOnFreshLine(string.Format(Messages.TooLarge, file.Name));
            }
            catch (AdditionalDataException)
            {
                reportOnFreshLine(Messages.AdditionalDataError);
                return false;
            }
            catch (System.Exception)
            {
                // DamagedPackageException above all, but also anything else
                // a malformed file may provoke.
                reportOnFreshLine(string.Format(Messages.Damaged, file.Name));
            }
            return true;
        }

        private static void dispatch(FileDescription file)
        {
            string extension = FileDescription.LowerAscii(file.Extension);
            if (!file.IsValidPath)
            {
                ConsoleOut.WriteLine(string.Format(Messages.NotSupported, file.Name));
            }
            else if (extension == ".upk")
            {
                extractAll(file);
            }
            else if (extension == ".txt")
            {
                long length;
                InputFile.Kind kind = InputFile.Probe(file.FullPath, out length);
                if (kind == InputFile.Kind.Missing)
                    ConsoleOut.WriteLine(string.Format(Messages.NotFound, file.Name));
                else if (kind == InputFile.Kind.NotRegular)
                    ConsoleOut.WriteLine(string.Format(Messages.NotSupported, file.Name));
                else if (length > 0)
                    importAll(file);
                else
                    ConsoleOut.WriteLine(string.Format(Messages.ZeroBytes, file.Name));
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
            try
            {
                SafeFile.Write(path, content);
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

        // A failure may come while a progress line is still open; its
        // message then starts a line of its own, in the user's colours.
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
