using System;
using System.Collections.Generic;

namespace tool
{
    /// <summary>
    /// Raised when a text property is met after the last line of the text
    /// file has been used; the import of that text file is abandoned.
    /// </summary>
    public sealed class TooFewLinesException : Exception
    {
        public TooFewLinesException() : base("the text file has fewer lines than the package has texts") { }
    }

    public static partial class Scrivel
    {
        /// <summary>
        /// Re-serialises one property list from the reader's position up to
        /// endPos into the writer, tag by tag: the k-th text property takes
        /// line lineCount of readTexts, string sizes and the sizes of walked
        /// arrays are recomputed, and the bulk-data offsets of a sound's
        /// additional data are moved to their place in the output. Consumes
        /// exactly the bytes that extraction's walk consumes, and prints the
        /// same "Error: {0}" lines.
        /// </summary>
        public static void importPackage(List<string> readTexts, ByteWriter upkWriter, ByteReader upkReader,
            ref int lineCount, Dictionary<long, string> nameTable, long endPos, uint upkVer)
        {
            var walk = new ImportWalkState(readTexts, upkWriter, upkReader, nameTable, lineCount);
            try
            {
                walk.Run(endPos);
            }
            finally
            {
                lineCount = walk.LineCount;
            }
        }

        /// <summary>
        /// Writes the line at index lineCount as a UTF-16 string value with
        /// its size and a zero array index, "{\n}" turned back into a line
        /// feed, and moves lineCount on by one. Code units are written one
        /// for one, so whatever the text file held reaches the package.
        /// </summary>
        public static void importTextLine(List<string> stringLines, ByteWriter upkWriter, ref int lineCount)
        {
            string value = takeLine(stringLines, ref lineCount);
            var units = new byte[2 * (value.Length + 1)];
            for (int i = 0, p = 0; i < value.Length; i++, p += 2)
            {
                units[p] = (byte)value[i];
                units[p + 1] = (byte)(value[i] >> 8);
            }
            upkWriter.WriteInt32(units.Length + 4);
            upkWriter.WriteInt32(0);
            upkWriter.WriteInt32(-(units.Length / 2));
            upkWriter.WriteBytes(units);
        }

        /// <summary>The line at index lineCount with "{\n}" undone; lineCount moves on.</summary>
        private static string takeLine(List<string> stringLines, ref int lineCount)
        {
            if (lineCount < 0 || lineCount >= stringLines.Count)
                throw new TooFewLinesException();
            return TextFile.UnescapeLine(stringLines[lineCount++]);
        }
    }

    /// <summary>
    /// The state of one import walk. Nested arrays are walked with an explicit
    /// stack of list walks rather than by recursion, so no nesting depth in a
    /// package can exhaust the thread's stack.
    ///
    /// Besides the sizes of strings and walked arrays, the walk also corrects
    /// two sizes that cover data it walks tag by tag without owning their
    /// extent: a struct whose own tags follow it, and an array that is met
    /// through its 20-byte "Subtitles" row. Their old extent ends at a known
    /// input position; when a tag ends exactly there, the matching output
    /// position gives the new size. A size whose end the walk never meets at
    /// a tag boundary stays as read.
    /// </summary>
    internal sealed class ImportWalkState
    {
        /// <summary>One list walk: where it stops and, for an array's elements, what is due when it ends.</summary>
        private sealed class ListWalk
        {
            public long EndPos;
            /// <summary>Output position of the array's size field, or -1 for the outermost walk.</summary>
            public long SizeFieldPos;
            /// <summary>Further starts of the element walk still due (element count minus those made).</summary>
            public long StartsLeft;
            /// <summary>The current start ended early at an unknown type reference.</summary>
            public bool Stopped;
        }

        private readonly List<string> texts;
        private readonly ByteWriter writer;
        private readonly ByteReader reader;
        private readonly Dictionary<long, string> names;
        private readonly List<ListWalk> stack = new List<ListWalk>();

        /// <summary>A size field to correct once the input reaches InputEnd at a tag boundary.</summary>
        private struct SizeFixup
        {
            public long InputEnd;
            /// <summary>Output position of the 32-bit size.</summary>
            public long SizeField;
            /// <summary>Output position from which the size counts.</summary>
            public long Start;
            public bool IsStruct;
        }

        private readonly List<SizeFixup> fixups = new List<SizeFixup>();

        /// <summary>
        /// Pending corrections are checked after every tag; beyond this many
        /// (only damaged data nests or misstates sizes so) further sizes stay
        /// as read, so the checks cannot grow with the package.
        /// </summary>
        private const int MaxPendingFixups = 1024;


        public int LineCount;

        public ImportWalkState(List<string> texts, ByteWriter writer, ByteReader reader,
            Dictionary<long, string> names, int lineCount)
        {
            this.texts = texts;
            this.writer = writer;
            this.reader = reader;
            this.names = names;
            LineCount = lineCount;
        }

        public void Run(long endPos)
        {
            stack.Add(new ListWalk { EndPos = endPos, SizeFieldPos = -1, StartsLeft = 0 });
            while (stack.Count > 0)
            {
                ListWalk walk = stack[stack.Count - 1];
                if (!walk.Stopped && reader.Position < walk.EndPos)
                {
                    if (!ImportTag())
                        walk.Stopped = true;
                    if (fixups.Count > 0)
                        SettleFixups();
                    continue;
                }
                // This start of the walk is over. Another start of an array's
                // element walk resumes where it stopped; once the input is at
                // the array's end every further start would read nothing.
                if (walk.StartsLeft > 0 && reader.Position < walk.EndPos)
                {
                    walk.StartsLeft--;
                    walk.Stopped = false;
                    continue;
                }
                stack.RemoveAt(stack.Count - 1);
                if (walk.SizeFieldPos >= 0)
                    PatchArraySize(walk.SizeFieldPos);
            }
            fixups.Clear();
        }

        /// <summary>Corrects the sizes whose old extent ends here; drops those the input has passed.</summary>
        private void SettleFixups()
        {
            long at = reader.Position;
            for (int i = fixups.Count - 1; i >= 0; i--)
            {
                SizeFixup fixup = fixups[i];
                if (at < fixup.InputEnd)
                    continue;
                fixups.RemoveAt(i);
                if (at > fixup.InputEnd)
                    continue;
                long size = writer.Position - fixup.Start;
                // A struct's size also decides how the walks read it; a new
                // size that would be read as a fixed struct is not written.
                if (size > int.MaxValue || (fixup.IsStruct && !PropertyTypes.StructHasInnerTags(size)))
                    continue;
                long end = writer.Position;
                writer.Position = fixup.SizeField;
                writer.WriteInt32((int)size);
                writer.Position = end;
            }
        }

        /// <summary>Handles one tag; false when the walk that met it ends here.</summary>
        private bool ImportTag()
        {
            int nameIndex = reader.ReadInt32();
            writer.WriteInt32(nameIndex);
            string name;
            if (!names.TryGetValue(nameIndex, out name))
            {
                // As extraction does: report the offset 4 bytes before the
                // name index and go on with the next 4 bytes.
                ConsoleOut.WriteLine(Messages.WalkErrorAt(reader.Position - 8));
                return true;
            }
            writer.CopyFrom(reader, 4);
            if (nameIndex != 0 && name == PropertyTypes.NoneName)
                return true;
            if (nameIndex == 0)
            {
                RewriteAdditionalData();
                return true;
            }
            long typeRef = reader.ReadInt64();
            writer.WriteInt64(typeRef);
            string typeName;
            if (!names.TryGetValue(typeRef, out typeName))
            {
                ConsoleOut.WriteLine(Messages.WalkErrorAt(reader.Position - 8));
                return false;
            }
            int fixedBytes;
            switch (PropertyTypes.Classify(typeName, out fixedBytes))
            {
                case PropertyKind.String:
                    ImportString(name);
                    break;
                case PropertyKind.Array:
                    ImportArray();
                    break;
                case PropertyKind.Struct:
                    ImportStruct();
                    break;
                case PropertyKind.Fixed:
                    if (PropertyTypes.IsArrayRow(typeName))
                        NoteArrayRowSize();
                    writer.CopyFrom(reader, fixedBytes);
                    break;
                default:
                    // Unknown type: the size field is read next as a name index.
                    break;
            }
            return true;
        }

        private void ImportString(string name)
        {
            reader.Skip(PropertyTypes.SizeAndIndexBytes);
            int length = reader.ReadInt32();
            long byteCount = PropertyTypes.StringValueBytes(length);
            reader.Require(byteCount);
            if (PropertyTypes.IsTextProperty(name, length))
            {
                // Every replaced text goes out as UTF-16, whatever its old form:
                // the game reads 8-bit strings as single-byte characters, so
                // a translation in 8-bit form would not show as written. A
                // "SpokenText" or "Comment" is a text only in 8-bit form, so
                // once compiled it is no longer one: extracting the compiled
                // package leaves out its line, and importing that shorter
                // file into the compiled package passes over it likewise.
                Scrivel.importTextLine(texts, writer, ref LineCount);
                reader.Skip(byteCount);
                return;
            }
            writer.WriteInt32((int)(byteCount + 4));
            writer.WriteInt32(0);
            writer.WriteInt32(length);
            writer.CopyFrom(reader, byteCount);
        }

        private void ImportArray()
        {
            long sizeFieldPos = writer.Position;
            long size = reader.ReadInt64();
            writer.WriteInt64(size);
            if (!PropertyTypes.ArrayIsWalked(size))
            {
                writer.CopyFrom(reader, size);
                return;
            }
            long arrayEnd = reader.Position + size;
            int count = reader.ReadInt32();
            writer.WriteInt32(count);
            if (count <= 0)
            {
                PatchArraySize(sizeFieldPos);
                return;
            }
            stack.Add(new ListWalk { EndPos = arrayEnd, SizeFieldPos = sizeFieldPos, StartsLeft = count - 1L });
        }

        private void ImportStruct()
        {
            long size = reader.ReadInt64();
            writer.WriteInt64(size);
            // A struct that is neither 16 nor at most 12 bytes is followed by
            // its own tags, which this list walk meets next; its size is
            // corrected once they have been walked (SettleFixups).
            long sizeField = writer.Position - 8;
            writer.CopyFrom(reader, PropertyTypes.StructBytesAfterSize(size));
            if (PropertyTypes.StructHasInnerTags(size) && fixups.Count < MaxPendingFixups)
                fixups.Add(new SizeFixup { InputEnd = reader.Position + size, SizeField = sizeField, Start = writer.Position, IsStruct = true });
        }

        /// <summary>
        /// Before the 20 bytes of a "Subtitles" row (the array's real type
        /// reference, size, array index and element count): its elements
        /// follow in this list, and its size counts from its element count.
        /// </summary>
        private void NoteArrayRowSize()
        {
            reader.Require(20);
            if (fixups.Count >= MaxPendingFixups) return;
            int size = BitConverter.ToInt32(reader.Data, (int)reader.Position + 8);
            fixups.Add(new SizeFixup { InputEnd = reader.Position + 16 + size, SizeField = writer.Position + 8, Start = writer.Position + 16 });
        }

        /// <summary>
        /// The six bulk-data records after a sound's properties. The first
        /// record's flags and count have been copied as the tag's name index
        /// and number. Every offset that is rewritten becomes the absolute
        /// output offset of the byte after it, which is right because the
        /// export is written at its final place in the compiled package.
        /// </summary>
        private void RewriteAdditionalData()
        {
            writer.CopyFrom(reader, 4);
            RewriteOffset();

            int flags = reader.ReadInt32();
            int count = reader.ReadInt32();
            writer.WriteInt32(flags);
            writer.WriteInt32(count);
            writer.CopyFrom(reader, 4);
            if (flags != 0 || count <= 0)
                throw new AdditionalDataException();
            RewriteOffset();
            writer.CopyFrom(reader, count);

            for (int record = 0; record < 4; record++)
            {
                int recordFlags = reader.ReadInt32();
                writer.WriteInt32(recordFlags);
                if (recordFlags == 0)
                {
                    writer.CopyFrom(reader, 12);
                    continue;
                }
                writer.CopyFrom(reader, 8);
                RewriteOffset();
            }
        }

        private void RewriteOffset()
        {
            reader.Skip(4);
            writer.WriteInt32((int)(writer.Position + 4));
        }

        /// <summary>Writes the array's new size, everything after its size field, with a zero array index.</summary>
        private void PatchArraySize(long sizeFieldPos)
        {
            long end = writer.Position;
            writer.Position = sizeFieldPos;
            writer.WriteInt64(end - sizeFieldPos - 8);
            writer.Position = end;
        }
    }
}
