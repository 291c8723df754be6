using System;

namespace tool
{
    /// <summary>
    /// Raised by import's walk when a sound export's additional data does not
    /// have the form it can rewrite. Unlike every other failure it ends the
    /// whole run: Main reports it and returns without the closing mark.
    /// </summary>
    public sealed class AdditionalDataException : Exception
    {
        public AdditionalDataException() : base(Messages.AdditionalDataError) { }
        public AdditionalDataException(string message) : base(message) { }
    }
}
