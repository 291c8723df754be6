// One entry of a package's export table as read, never changed afterwards.
namespace tool
{
    /// <summary>One entry of a package's export table, as the tool needs it.</summary>
    public sealed class ExportEntry
    {
        public ExportEntry(string className, int outerReference, int objectNameIndex, int objectNameNumber,
            long entryPosition, int serialSize, int serialOffset)
        {
            ClassName = className;
            OuterReference = outerReference;
            ObjectNameIndex = objectNameIndex;
            ObjectNameNumber = objectNameNumber;
            EntryPosition = entryPosition;
            SerialSize = serialSize;
            SerialOffset = serialOffset;
        }

        /// <summary>Class name through the import names; null when the class reference names no import.</summary>
        public readonly string ClassName;

        // Read as they stand and never tested: they name the object, they do
        // not decide how it is read.
        /// <summary>The enclosing object: n above 0 is export n - 1, 0 none (+8 in the entry).</summary>
        public readonly int OuterReference;
        /// <summary>The object's name as an index into the name table (+12).</summary>
        public readonly int ObjectNameIndex;
        /// <summary>The name's number: n above 0 shows as "_{n - 1}" after the name (+16).</summary>
        public readonly int ObjectNameNumber;

        /// <summary>Position of the entry's serial size field, the same in the package and in the compiled package.</summary>
        public readonly long EntryPosition;
        public readonly int SerialSize;
        public readonly int SerialOffset;

        /// <summary>
        /// Where the serial data ends; a range that does not lie within a
        /// file of fileLength bytes is damage.
        /// </summary>
        public long RequireSerialRange(long fileLength)
        {
            long end = (long)SerialOffset + SerialSize;
            if (SerialOffset < 0 || SerialSize < 0 || end > fileLength)
                throw new DamagedPackageException("serial data of " + SerialSize + " bytes at offset "
                    + SerialOffset + " lies outside the file");
            return end;
        }
    }
}
