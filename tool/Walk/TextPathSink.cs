// The property path of every text as a walk meets it: the keys of PO files are made of these.
using System;
using System.Collections.Generic;
using System.Text;

namespace tool
{
    /// <summary>
    /// A walk over one export that hands each text to a <see cref="PoTexts"/>
    /// with its property path: the names of the arrays and structs the walk
    /// is in, outermost first, each array with "[i]", then the text's own
    /// property name, joined by "." (Subtitles[1].Text). i counts the "None"
    /// tags met so far at that array's own level, which end its elements; an
    /// array met through its "Subtitles" row is named by the row. A struct or
    /// row is left where a tag ends at or past its declared end, an array
    /// where its walk is over. A path longer than <see cref="MaxPathLength"/>
    /// characters is "#n", n counting the export's texts from 0; characters
    /// that PO cannot carry become U+FFFD. Each text costs at most that many
    /// characters of work, however deep the nesting.
    /// </summary>
    public sealed class TextPathSink : PropertySink
    {
        public const int MaxPathLength = 256;

        private sealed class Level
        {
            public string Name;
            public bool IsArray;
            public int Index;
            public int Id;
            /// <summary>Length of the path before this level's part.</summary>
            public int Start;
        }

        private readonly byte[] package;
        private readonly PoTexts texts;
        private readonly int export;
        private readonly List<Level> levels = new List<Level>();
        /// <summary>The path of the innermost level, "." after each part; only while it fits.</summary>
        private readonly StringBuilder prefix = new StringBuilder();
        /// <summary>Depth of the first level whose part did not fit; -1 while every part fits.</summary>
        private int overflowDepth = -1;
        /// <summary>Per level opened, by its id: whether it has been left.</summary>
        private readonly List<bool> left = new List<bool>();
        private int textsMet;

        /// <summary>A sink for the walk of export's data in package; the walk's errors go to walkErrors.</summary>
        public TextPathSink(byte[] package, PoTexts texts, int export, Action<long> walkErrors) : base(walkErrors)
        {
            this.package = package;
            this.texts = texts;
            this.export = export;
        }

        public override void StringValue(string name, bool isText, long sizeField, int length, long valueStart, long byteCount)
        {
            if (!isText) return;
            string path = null;
            if (overflowDepth < 0 && prefix.Length + name.Length <= MaxPathLength)
                path = prefix.ToString() + Carriable(name);
            texts.Add(export, path ?? "#" + textsMet, tool.StringValue.Decode(package, valueStart, length, byteCount));
            textsMet++;
        }

        public override long ArrayStart(string name, long sizeField)
        {
            return Open(name, true);
        }

        public override void ArrayEnd(long token)
        {
            Leave((int)token);
        }

        public override int EnclosedStart(bool isStruct, string name, long sizeField, long contentStart)
        {
            return Open(name, !isStruct);
        }

        public override void EnclosedEnd(int token)
        {
            Leave(token);
        }

        public override void EnclosedPassed(int token)
        {
            Leave(token);
        }

        /// <summary>Ends an element of the innermost level when that is an array.</summary>
        public override void Terminator()
        {
            if (levels.Count == 0) return;
            Level top = levels[levels.Count - 1];
            if (!top.IsArray) return;
            top.Index++;
            if (overflowDepth >= 0 && overflowDepth < levels.Count - 1) return;
            prefix.Length = top.Start;
            overflowDepth = -1;
            Append(top, levels.Count - 1);
        }

        private int Open(string name, bool isArray)
        {
            var level = new Level { Name = name, IsArray = isArray, Id = left.Count, Start = prefix.Length };
            left.Add(false);
            levels.Add(level);
            if (overflowDepth < 0) Append(level, levels.Count - 1);
            return level.Id;
        }

        /// <summary>Leaves the level opened as id and every level inside it, unless it has been left already.</summary>
        private void Leave(int id)
        {
            if (id < 0 || id >= left.Count || left[id]) return;
            while (levels.Count > 0)
            {
                Level top = levels[levels.Count - 1];
                levels.RemoveAt(levels.Count - 1);
                left[top.Id] = true;
                if (overflowDepth >= levels.Count) overflowDepth = -1;
                prefix.Length = top.Start;
                if (top.Id == id) break;
            }
        }

        /// <summary>Appends the part of the level at depth, or notes that it does not fit.</summary>
        private void Append(Level level, int depth)
        {
            string index = level.IsArray ? "[" + level.Index + "]" : "";
            if (prefix.Length + level.Name.Length + index.Length + 1 > MaxPathLength)
            {
                overflowDepth = depth;
                return;
            }
            prefix.Append(Carriable(level.Name)).Append(index).Append('.');
        }

        /// <summary>The name with every character that PO cannot carry replaced by U+FFFD.</summary>
        private static string Carriable(string name)
        {
            if (PoWriter.CanCarry(name)) return name;
            var chars = name.ToCharArray();
            for (int i = 0; i < chars.Length; i++)
            {
                char c = chars[i];
                bool paired = char.IsHighSurrogate(c) && i + 1 < chars.Length && char.IsLowSurrogate(chars[i + 1]);
                if (paired) i++;
                else if (c == '\0' || c == '\u0004' || char.IsSurrogate(c)) chars[i] = '\uFFFD';
            }
            return new string(chars);
        }
    }
}
