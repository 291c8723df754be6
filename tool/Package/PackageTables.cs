using System.Collections.Generic;

namespace tool
{
    /// <summary>What reading a package's summary and tables yields.</summary>
    public sealed class PackageTables
    {
        public uint Version;
        /// <summary>Name table entry i under key i.</summary>
        public Dictionary<long, string> NameTable = new Dictionary<long, string>();
        /// <summary>Import j under key -(j + 1), mapped to its object name.</summary>
        public Dictionary<int, string> ImportNames = new Dictionary<int, string>();
        public List<ExportEntry> Exports = new List<ExportEntry>();
    }
}
