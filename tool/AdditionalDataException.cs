// The refusal that ends the whole run: a sound's additional data that import cannot rewrite.
namespace tool
{
    /// <summary>
    /// Raised by import when a sound export's additional data does not have
    /// the form it can rewrite. Unlike every other refusal it ends the whole
    /// run: Main returns without the closing mark.
    /// </summary>
    public sealed class AdditionalDataException : RefusalException
    {
        public AdditionalDataException() : base(Refusal.AdditionalData, Messages.AdditionalDataError) { }
    }
}
