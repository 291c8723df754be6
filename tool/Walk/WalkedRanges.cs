// The serial data that the walks read: each walked export's range checked, and how far its walk may read.
using System.Collections.Generic;

namespace tool
{
    /// <summary>
    /// The serial data of the exports whose property lists are walked (those
    /// of the text classes). Each lies in the file, and in file order each
    /// starts at or after the end of the one before: real packages never
    /// share serial data, while a package whose entries all point at one
    /// range would have it walked once per entry, with time and output
    /// growing with the square of the file's size. For the same reason a
    /// walk may not read into the next walked export's data, however far
    /// the sizes inside its own data reach.
    /// </summary>
    public static class WalkedRanges
    {
        /// <summary>
        /// For each export, the position up to which its walk may read: the
        /// start of the next walked export's data in file order, or the file's
        /// end. Raises <see cref="DamagedPackageException"/> for the data of a
        /// walked export that lies outside the file or overlaps another's.
        /// </summary>
        public static long[] ReadLimits(IReadOnlyList<ExportEntry> exports, long fileLength)
        {
            // Each walked export as its serial offset (not negative once its
            // range is checked) in the upper half and its index in the lower,
            // so that sorting the numbers orders them by offset, then index.
            var walked = new long[exports.Count];
            int n = 0;
            var limits = new long[exports.Count];
            for (int k = 0; k < exports.Count; k++)
            {
                limits[k] = fileLength;
                if (!TextClasses.IsExtracted(exports[k].ClassName)) continue;
                exports[k].RequireSerialRange(fileLength);
                walked[n++] = ((long)exports[k].SerialOffset << 32) | (uint)k;
            }
            // Packages keep their exports' data in table order as a rule.
            bool sorted = true;
            for (int i = 1; i < n && sorted; i++) sorted = walked[i - 1] < walked[i];
            if (!sorted) System.Array.Sort(walked, 0, n);
            for (int i = 1; i < n; i++)
            {
                int a = (int)walked[i - 1], b = (int)walked[i];
                ExportEntry before = exports[a], after = exports[b];
                long beforeEnd = (long)before.SerialOffset + before.SerialSize;
                if (after.SerialOffset < beforeEnd)
                    throw new DamagedPackageException("the serial data of exports " + a + " and " + b
                        + " overlap (offsets " + before.SerialOffset + " and " + after.SerialOffset + ")");
                limits[a] = after.SerialOffset;
            }
            return limits;
        }
    }
}
