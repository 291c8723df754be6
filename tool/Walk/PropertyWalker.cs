// The one reading of the property lists in an export's serial data, shared by extraction and import.
using System.Collections.Generic;

namespace tool
{
    /// <summary>
    /// The one reading of the property lists in an export's serial data,
    /// shared by extraction and import: it reads tag after tag by the type
    /// table of <see cref="PropertyTypes"/>, enters walked arrays and structs
    /// with inner tags, passes over a sound's additional data, and reports
    /// what it meets to a <see cref="PropertySink"/>, a name or type
    /// reference that is not in the name table included. It prints nothing;
    /// a read outside the package, a negative array size or inline count
    /// raise <see cref="DamagedPackageException"/>.
    ///
    /// "None" ends no walk, only the end position does. A name index not in
    /// the table is an error and the walk goes on 4 bytes further; a type
    /// reference not in it is an error and ends the current start of the
    /// walk. An array's elements are walked once per element, each start
    /// bounded by the array's end and resuming where the last one stopped.
    /// Nested walks are kept on a list, not the call stack, so no nesting
    /// depth can exhaust the thread's stack; every tag consumes at least 4
    /// bytes, so every walk ends.
    /// </summary>
    public sealed class PropertyWalker
    {
        /// <summary>One list walk: its end and, for an array's elements, what is due when it is over.</summary>
        private struct ListWalk
        {
            public long EndPos;
            /// <summary>Further starts still due (element count minus those made).</summary>
            public long StartsLeft;
            /// <summary>The current start ended at a type reference not in the name table.</summary>
            public bool Stopped;
            public bool IsArray;
            public long ArrayToken;
        }

        private readonly ByteReader reader;
        private readonly NameTable names;
        private readonly PropertySink sink;
        /// <summary>The list walks under way, the innermost last: depth of them.</summary>
        private ListWalk[] walks = new ListWalk[8];
        private int depth;
        private readonly OpenEnds openEnds = new OpenEnds();

        /// <summary>A walker that may walk one list after another with the same reader, names and sink.</summary>
        public PropertyWalker(ByteReader reader, IReadOnlyDictionary<long, string> names, PropertySink sink)
        {
            this.reader = reader;
            this.names = NameTable.Of(names);
            this.sink = sink;
        }

        /// <summary>
        /// Walks from the reader's position while it is below endPos and
        /// leaves the reader after the last byte consumed, which may lie
        /// beyond endPos.
        /// </summary>
        public void Walk(long endPos)
        {
            depth = 0;
            openEnds.Clear();
            Push(endPos, 0, false, 0);
            while (depth > 0)
            {
                int top = depth - 1;
                if (!walks[top].Stopped && reader.Position < walks[top].EndPos)
                {
                    if (!Tag()) walks[top].Stopped = true;
                    if (openEnds.Count > 0) CloseEnclosed();
                    continue;
                }
                // Once the reader is at the array's end, every further start
                // of its element walk would read nothing.
                if (walks[top].StartsLeft > 0 && reader.Position < walks[top].EndPos)
                {
                    walks[top].StartsLeft--;
                    walks[top].Stopped = false;
                    continue;
                }
                depth = top;
                if (walks[top].IsArray) sink.ArrayEnd(walks[top].ArrayToken);
            }
            openEnds.Clear();
            sink.WalkEnd();
        }

        private void Push(long endPos, long startsLeft, bool isArray, long arrayToken)
        {
            if (depth == walks.Length) System.Array.Resize(ref walks, 2 * depth);
            walks[depth] = new ListWalk { EndPos = endPos, StartsLeft = startsLeft, IsArray = isArray, ArrayToken = arrayToken };
            depth++;
        }

        /// <summary>Reads one tag; false when it ends the current start of the walk.</summary>
        private bool Tag()
        {
            int nameIndex = reader.ReadInt32();
            string name = names.NameAt(nameIndex);
            if (name == null)
            {
                sink.UnknownName(reader.Position - 8);
                return true;
            }
            reader.Skip(4); // name number
            if (nameIndex == 0)
            {
                AdditionalData(reader.Position - 8);
                return true;
            }
            int meaning = names.Meaning(nameIndex);
            if ((meaning & NameTable.None) != 0)
            {
                sink.Terminator();
                return true;
            }

            long typeReference = reader.ReadInt64();
            string typeName = names.NameAt(typeReference);
            if (typeName == null)
            {
                sink.UnknownType(reader.Position - 8);
                return false;
            }
            int type = names.Meaning(typeReference);
            switch ((PropertyKind)((type >> NameTable.KindShift) & 7))
            {
                case PropertyKind.String:
                    StringProperty(name, meaning);
                    break;
                case PropertyKind.Array:
                    ArrayProperty(name);
                    break;
                case PropertyKind.Struct:
                    StructProperty(name);
                    break;
                case PropertyKind.Fixed:
                    if ((type & NameTable.ArrayRow) != 0)
                        ArrayRow(typeName);
                    else
                        reader.Skip(type >> NameTable.FixedShift);
                    break;
                default:
                    // An unknown type: the size field is read next as a name index.
                    break;
            }
            return true;
        }

        private void StringProperty(string name, int meaning)
        {
            long sizeField = reader.Position;
            reader.Skip(PropertyTypes.SizeAndIndexBytes);
            int length = reader.ReadInt32();
            bool isText = (meaning & (length > 0 ? NameTable.Text8 : length < 0 ? NameTable.Text16 : 0)) != 0;
            long byteCount = PropertyTypes.StringValueBytes(length);
            reader.Require(byteCount);
            long valueStart = reader.Position;
            reader.Position += byteCount;
            sink.StringValue(name, isText, sizeField, length, valueStart, byteCount);
        }

        /// <summary>
        /// An array of at most 24 bytes is passed over whole (a negative size
        /// is damage); otherwise its element count follows and its elements
        /// are walked. The enclosing walk goes on from wherever they end.
        /// </summary>
        private void ArrayProperty(string name)
        {
            long sizeField = reader.Position;
            long size = reader.ReadInt64();
            if (!PropertyTypes.ArrayIsWalked(size))
            {
                reader.Skip(size);
                return;
            }
            long arrayEnd = reader.Position + size;
            int count = reader.ReadInt32();
            long token = sink.ArrayStart(name, sizeField);
            if (count <= 0)
            {
                sink.ArrayEnd(token);
                return;
            }
            Push(arrayEnd, count - 1L, true, token);
        }

        /// <summary>A struct of any size but 16 or at most 12 is followed by its own tags, which this walk meets next.</summary>
        private void StructProperty(string name)
        {
            long sizeField = reader.Position;
            long size = reader.ReadInt64();
            reader.Skip(PropertyTypes.StructBytesAfterSize(size));
            if (PropertyTypes.StructHasInnerTags(size))
                Enclose(true, name, sizeField, reader.Position, reader.Position + size);
        }

        /// <summary>
        /// The 20 bytes of a "Subtitles" row: the array's real type reference,
        /// size, array index and element count. Its elements follow as tags of
        /// this list, and its size counts from its element count. The walk
        /// knows the array by the row's name, which is the array's own.
        /// </summary>
        private void ArrayRow(string rowName)
        {
            reader.Require(20);
            long row = reader.Position;
            int size = reader.Data[row + 8] | (reader.Data[row + 9] << 8) | (reader.Data[row + 10] << 16) | (reader.Data[row + 11] << 24);
            reader.Skip(20);
            Enclose(false, rowName, row + 8, row + 16, row + 16 + size);
        }

        private void Enclose(bool isStruct, string name, long sizeField, long contentStart, long end)
        {
            int token = sink.EnclosedStart(isStruct, name, sizeField, contentStart);
            if (token >= 0) openEnds.Add(end, token);
        }

        /// <summary>
        /// After a tag: reports the structures whose declared end is exactly
        /// here, and those whose end the walk has passed without meeting it
        /// at a tag boundary.
        /// </summary>
        private void CloseEnclosed()
        {
            long at = reader.Position;
            while (openEnds.Count > 0 && openEnds.Smallest <= at)
            {
                long end;
                int token;
                openEnds.RemoveSmallest(out end, out token);
                if (end == at) sink.EnclosedEnd(token);
                else sink.EnclosedPassed(token);
            }
        }

        /// <summary>
        /// The six bulk-data records after a sound's properties, from start;
        /// the first record's flags and count have been read as the tag's
        /// name index and number. With the second record's flags F and count
        /// M: F not 0 passes over four records; F 0 and M 0 over 16 bytes;
        /// otherwise M inline bytes and four records (a negative M is damage).
        /// </summary>
        private void AdditionalData(long start)
        {
            reader.Skip(8);
            int flags = reader.ReadInt32();
            int count = reader.ReadInt32();
            reader.Skip(4);
            sink.AdditionalData(flags, count);
            reader.Skip(4);
            if (flags != 0)
            {
                reader.Skip(64);
                return;
            }
            if (count == 0)
            {
                reader.Skip(16);
                return;
            }
            if (count < 0)
                throw new DamagedPackageException("negative inline data count " + count + " at offset " + (reader.Position - 12));
            sink.BulkDataOffset(start + 12);
            sink.BulkDataOffset(start + 28);
            reader.Skip(count);
            for (int record = 0; record < 4; record++)
            {
                long recordStart = reader.Position;
                int recordFlags = reader.ReadInt32();
                reader.Skip(12);
                if (recordFlags != 0) sink.BulkDataOffset(recordStart + 12);
            }
        }
    }
}
