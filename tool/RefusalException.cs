// The exception that gives up the work on a file, carrying its reason.
using System;

namespace tool
{
    /// <summary>
    /// Raised by the readers and walks when the work on a file cannot go on.
    /// They print nothing of it: the driver turns the reason into its line.
    /// </summary>
    public class RefusalException : Exception
    {
        public RefusalException(Refusal reason) : this(reason, reason.ToString()) { }

        public RefusalException(Refusal reason, string detail) : base(detail)
        {
            Reason = reason;
        }

        /// <summary>A refusal of the input file named fileName (the package or the text file).</summary>
        public RefusalException(Refusal reason, string detail, string fileName) : this(reason, detail)
        {
            FileName = fileName;
        }

        public Refusal Reason { get; private set; }

        /// <summary>The file that the line names; null for the one the reason concerns.</summary>
        public string FileName { get; private set; }

        /// <summary>Whether the run ends with this file instead of going on with the next.</summary>
        public bool EndsRun { get { return Reason == Refusal.AdditionalData; } }
    }
}
