// The refusal of a compile whose result would pass 2 GB.
namespace tool
{
    /// <summary>
    /// A compiled package would be larger than the 2 GB that its signed
    /// 32-bit offsets and sizes can address: the package is sound, the
    /// result cannot be made.
    /// </summary>
    public sealed class OutputTooLargeException : RefusalException
    {
        public OutputTooLargeException() : base(Refusal.OutputTooLarge, "the compiled package would exceed 2 GB") { }
    }
}
