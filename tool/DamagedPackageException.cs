// The refusal of a package whose bytes do not hold what a read expects.
namespace tool
{
    /// <summary>
    /// A package's bytes do not hold what a read expects: a field or range
    /// outside the file, a negative length or count. The detail is for
    /// tracing only; the user sees the one "damaged" line.
    /// </summary>
    public sealed class DamagedPackageException : RefusalException
    {
        public DamagedPackageException(string detail) : base(Refusal.Damaged, detail) { }
    }
}
