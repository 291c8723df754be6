using System;
using System.Collections.Generic;

namespace tool
{
    /// <summary>
    /// The keys (msgctxt) of a package's texts. An export's ObjectPath is its
    /// outer chain, outermost first, and its own name, joined by ".", each
    /// name with "_{n-1}" after it when its number n is above 0. An outer
    /// reference n > 0 is export n-1; 0 or below ends the chain. An export
    /// whose name is unresolved (null), unusable in a key (holding U+0000,
    /// U+0004 or an unpaired surrogate) or longer than
    /// <see cref="MaxPathLength"/> has the path "#index" (0-based), and its
    /// inner exports continue from that. An export whose chain holds a cycle,
    /// an outer reference beyond the table, more than <see cref="MaxDepth"/>
    /// names or more than MaxPathLength characters has the path "#index"
    /// too, as have its inner exports. Paths are made on demand and kept, so
    /// the work is linear in the number of exports asked for and their outers.
    /// </summary>
    public sealed class PoKeys
    {
        public const int MaxDepth = 64;
        /// <summary>No ObjectPath is longer, so hostile names cannot make the keys outgrow the package.</summary>
        public const int MaxPathLength = 1024;

        private readonly int[] outers;
        private readonly string[] names;
        private readonly int[] numbers;
        private readonly string[] paths;
        /// <summary>Names in the path, once known; Broken for an export with no chain.</summary>
        private readonly int[] depths;
        private const int Broken = int.MaxValue;
        private const int Visiting = -1;

        /// <summary>One element per export in each array: outer reference, name text (null when unresolved), name number.</summary>
        public PoKeys(int[] outers, string[] names, int[] numbers)
        {
            if (outers == null || names == null || numbers == null) throw new ArgumentNullException();
            if (names.Length != outers.Length || numbers.Length != outers.Length)
                throw new ArgumentException("one outer, name and number per export");
            this.outers = outers;
            this.names = names;
            this.numbers = numbers;
            paths = new string[outers.Length];
            depths = new int[outers.Length];
        }

        /// <summary>
        /// The keys of a package's exports, from the outer, name and number
        /// fields as read: never checked, so nothing in them refuses a package.
        /// </summary>
        public static PoKeys Of(PackageTables tables)
        {
            int n = tables.Exports.Count;
            var outers = new int[n];
            var names = new string[n];
            var numbers = new int[n];
            for (int k = 0; k < n; k++)
            {
                ExportEntry export = tables.Exports[k];
                string name;
                outers[k] = export.OuterReference;
                names[k] = tables.NameTable.TryGetValue(export.ObjectNameIndex, out name) ? name : null;
                numbers[k] = export.ObjectNameNumber;
            }
            return new PoKeys(outers, names, numbers);
        }

        /// <summary>True when the export's ObjectPath is "#index" (its case gets a warning line).</summary>
        public bool IsIndexed(int export)
        {
            return ObjectPath(export) == Indexed(export);
        }

        public string ObjectPath(int export)
        {
            if (paths[export] != null) return paths[export];
            // Up the chain to an export already known, the outermost one or a
            // cycle; then down again, each path from its outer's.
            var chain = new List<int>();
            int top = export;
            bool cycle = false;
            while (true)
            {
                depths[top] = Visiting;
                chain.Add(top);
                int outer = outers[top] - 1;
                if (outer < 0 || outer >= paths.Length || paths[outer] != null) break;
                if (depths[outer] == Visiting)
                {
                    cycle = true;
                    break;
                }
                top = outer;
            }
            for (int k = chain.Count - 1; k >= 0; k--)
            {
                int e = chain[k];
                int outer = outers[e] - 1;
                if (cycle || outer >= paths.Length) Resolve(e, null, Broken);
                else if (outer < 0) Resolve(e, null, 0);
                else Resolve(e, paths[outer], depths[outer]);
            }
            return paths[export];
        }

        private void Resolve(int export, string outerPath, int outerDepth)
        {
            string name = names[export];
            string path = null;
            if (outerDepth != Broken && outerDepth < MaxDepth)
            {
                int room = MaxPathLength - (outerPath == null ? 0 : outerPath.Length + 1);
                string own = Usable(name) ? Segment(name, numbers[export]) : null;
                if (own == null || own.Length > room)
                {
                    // An unusable name stands for a known place: inner exports go on from it.
                    if (own == null || outerPath == null) path = Indexed(export);
                }
                else path = outerPath == null ? own : outerPath + "." + own;
            }
            paths[export] = path ?? Indexed(export);
            depths[export] = path == null ? Broken : outerDepth + 1;
        }

        private static string Indexed(int export)
        {
            return "#" + export;
        }

        private static bool Usable(string name)
        {
            return name != null && name.Length <= MaxPathLength && PoWriter.CanCarry(name);
        }

        private static string Segment(string name, int number)
        {
            return number > 0 ? name + "_" + (number - 1) : name;
        }

        /// <summary>
        /// Makes keys met more than once unique: the second of one key gets
        /// " #2", the third " #3", in the order given, a number being passed
        /// over where another key already is that text. renamed counts the
        /// keys changed. Linear in the number and length of the keys.
        /// </summary>
        public static string[] Disambiguate(IList<string> keys, out int renamed)
        {
            var taken = new Dictionary<string, bool>(keys.Count);
            foreach (string key in keys) taken[key] = true;
            // For each key met, the next number to try for it.
            var next = new Dictionary<string, int>(keys.Count);
            var result = new string[keys.Count];
            renamed = 0;
            for (int i = 0; i < keys.Count; i++)
            {
                string key = keys[i];
                int number;
                if (!next.TryGetValue(key, out number))
                {
                    next.Add(key, 2);
                    result[i] = key;
                    continue;
                }
                string candidate;
                do candidate = key + " #" + number++;
                while (taken.ContainsKey(candidate));
                next[key] = number;
                taken.Add(candidate, true);
                result[i] = candidate;
                renamed++;
            }
            return result;
        }
    }
}
