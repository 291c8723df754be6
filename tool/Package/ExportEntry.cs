namespace tool
{
    /// <summary>One entry of a package's export table, as the tool needs it.</summary>
    public sealed class ExportEntry
    {
        /// <summary>Class name through the import names; null when the class reference names no import.</summary>
        public string ClassName;
        public int SerialSize;
        public int SerialOffset;
        /// <summary>Position of the entry's serial size field, the same in the package and in the compiled package.</summary>
        public long EntryPosition;

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
