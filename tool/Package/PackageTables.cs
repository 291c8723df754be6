// What reading a package's summary and tables yields: one immutable description for both sides.
using System.Collections.Generic;

namespace tool
{
    /// <summary>
    /// A package's version, names, import names and export entries, and where
    /// its parts lie, as <see cref="PackageReader"/> read them under
    /// <see cref="Rules"/>. Nothing in it changes once it is read.
    /// </summary>
    public sealed class PackageTables
    {
        public PackageTables(ReadingRules rules, uint version, NameTable nameTable,
            ImportNames importNames, IReadOnlyList<ExportEntry> exports)
        {
            Rules = rules;
            Version = version;
            NameTable = nameTable;
            ImportNames = importNames;
            Exports = exports;
        }

        /// <summary>The checks the package passed beyond every bounds check.</summary>
        public readonly ReadingRules Rules;
        public readonly uint Version;
        /// <summary>Name table entry i under key i.</summary>
        public readonly NameTable NameTable;
        /// <summary>Import j under key -(j + 1), mapped to its object name.</summary>
        public readonly ImportNames ImportNames;
        public readonly IReadOnlyList<ExportEntry> Exports;
    }
}
