using System;

namespace tool
{
    /// <summary>
    /// An input file that cannot be taken: missing, not a regular file, too
    /// large, or not readable to its end. Carries the one console line that
    /// says so; the driver prints it and goes on with the next argument.
    /// </summary>
    public sealed class InputFileException : Exception
    {
        public InputFileException(string messageFormat, string fileName)
            : base(string.Format(messageFormat, fileName))
        {
            Line = Message;
        }

        /// <summary>The console line, the file's name in place.</summary>
        public string Line { get; private set; }
    }
}
