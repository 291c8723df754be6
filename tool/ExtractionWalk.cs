using System.Collections.Generic;

namespace tool
{
    public static partial class Scrivel
    {
        /// <summary>
        /// The property walk of extraction: reads tags from the reader's
        /// position while it is below endPos and appends the value of every
        /// text property to texts. "None" ends no walk, only endPos does. A
        /// name index not in the name table prints "Error: {0}" and the walk
        /// goes on 4 bytes further; a type reference not in it prints
        /// "Error: {0}" and ends the walk. The reader is left after the last
        /// byte consumed, which may lie beyond endPos.
        ///
        /// The elements of a walked array are walked as nested walks, one
        /// start per element, bounded by the array's end. They are kept on a
        /// list of pending walks instead of the call stack, so no nesting
        /// depth can exhaust the thread's stack. A read outside the package's
        /// bytes, a negative array size or a negative inline count raises
        /// <see cref="DamagedPackageException"/>; every step consumes at
        /// least 4 bytes, so the walk always ends.
        /// </summary>
        public static void extractPackage(ByteReader upkReader, Dictionary<long, string> nameTable,
            CollectedText texts, long endPos, uint upkVer)
        {
            // upkVer is handed on to nested walks; only one version is ever
            // accepted, so nothing here depends on it.
            var pending = new List<NestedWalk>();
            var walk = new NestedWalk(endPos, 0);
            while (true)
            {
                bool ended = false;
                while (!ended && upkReader.Position < walk.EndPos)
                {
                    long arrayEnd;
                    int elements;
                    switch (extractTag(upkReader, nameTable, texts, out arrayEnd, out elements))
                    {
                        case TagOutcome.Stop:
                            ended = true;
                            break;
                        case TagOutcome.ArrayElements:
                            pending.Add(walk);
                            walk = new NestedWalk(arrayEnd, elements - 1L);
                            break;
                    }
                }
                // One start of this walk is over. A further start of an
                // element walk resumes where it stopped; once the reader is at
                // the array's end, every further start would read nothing.
                if (walk.StartsLeft > 0 && upkReader.Position < walk.EndPos)
                {
                    walk.StartsLeft--;
                    continue;
                }
                if (pending.Count == 0)
                    return;
                walk = pending[pending.Count - 1];
                pending.RemoveAt(pending.Count - 1);
            }
        }

        /// <summary>A walk bounded by EndPos, with the starts still due for an array's elements.</summary>
        private struct NestedWalk
        {
            public readonly long EndPos;
            public long StartsLeft;

            public NestedWalk(long endPos, long startsLeft)
            {
                EndPos = endPos;
                StartsLeft = startsLeft;
            }
        }

        private enum TagOutcome { Next, Stop, ArrayElements }

        /// <summary>
        /// Handles one tag. Stop: a type reference was not found and the
        /// current walk ends. ArrayElements: an array's elements start here,
        /// to be walked up to arrayEnd, elements times.
        /// </summary>
        private static TagOutcome extractTag(ByteReader upkReader, Dictionary<long, string> nameTable,
            CollectedText texts, out long arrayEnd, out int elements)
        {
            arrayEnd = 0;
            elements = 0;
            int nameIndex = upkReader.ReadInt32();
            string name;
            if (!nameTable.TryGetValue(nameIndex, out name))
            {
                // The offset 4 bytes before the index; the walk steps on by 4.
                ConsoleOut.WriteLine(Messages.WalkErrorAt(upkReader.Position - 8));
                return TagOutcome.Next;
            }
            upkReader.Skip(4); // name number
            if (nameIndex == 0)
            {
                skipAdditionalData(upkReader);
                return TagOutcome.Next;
            }
            if (name == PropertyTypes.NoneName)
                return TagOutcome.Next;

            long typeReference = upkReader.ReadInt64();
            string typeName;
            if (!nameTable.TryGetValue(typeReference, out typeName))
            {
                ConsoleOut.WriteLine(Messages.WalkErrorAt(upkReader.Position - 8));
                return TagOutcome.Stop;
            }

            int fixedBytes;
            switch (PropertyTypes.Classify(typeName, out fixedBytes))
            {
                case PropertyKind.String:
                    extractString(upkReader, name, texts);
                    return TagOutcome.Next;
                case PropertyKind.Array:
                    return startArray(upkReader, out arrayEnd, out elements);
                case PropertyKind.Struct:
                    // A struct of any size other than 16 or at most 12 is
                    // followed by its own tags, which this loop walks next.
                    upkReader.Skip(PropertyTypes.StructBytesAfterSize(upkReader.ReadInt64()));
                    return TagOutcome.Next;
                case PropertyKind.Fixed:
                    upkReader.Skip(fixedBytes);
                    return TagOutcome.Next;
                default:
                    // An unknown type: the size field is read next as a name index.
                    return TagOutcome.Next;
            }
        }

        /// <summary>Reads a string property's value and collects it when it is a text.</summary>
        private static void extractString(ByteReader upkReader, string name, CollectedText texts)
        {
            upkReader.Skip(PropertyTypes.SizeAndIndexBytes);
            int length = upkReader.ReadInt32();
            long byteCount = PropertyTypes.StringValueBytes(length);
            upkReader.Require(byteCount);
            int start = (int)upkReader.Position;
            string value = length >= 0
                ? StringValue.DecodeEightBit(upkReader.Data, start, (int)byteCount)
                : StringValue.DecodeUtf16(upkReader.Data, start, (int)(byteCount / 2));
            upkReader.Position += byteCount;
            if (PropertyTypes.IsTextProperty(name, length))
                texts.AddLine(value);
        }

        /// <summary>
        /// Reads an array's size S. At most 24 bytes: skipped whole (a
        /// negative S is damage). Otherwise the element count follows and the
        /// elements are to be walked; the enclosing walk later goes on from
        /// wherever they end, not from the array's end.
        /// </summary>
        private static TagOutcome startArray(ByteReader upkReader, out long arrayEnd, out int elements)
        {
            arrayEnd = 0;
            elements = 0;
            long size = upkReader.ReadInt64();
            if (!PropertyTypes.ArrayIsWalked(size))
            {
                upkReader.Skip(size);
                return TagOutcome.Next;
            }
            arrayEnd = upkReader.Position + size;
            elements = upkReader.ReadInt32();
            return elements > 0 ? TagOutcome.ArrayElements : TagOutcome.Next;
        }

        /// <summary>
        /// The bulk-data records after a SoundNodeWave's properties. The first
        /// record's flags and count have been read as the tag's name index and
        /// number. With the second record's flags F and count M: F not 0 skips
        /// four records; F 0 and M not 0 skips M inline bytes and four
        /// records; both 0 skip 16 bytes. A negative M is damage.
        /// </summary>
        private static void skipAdditionalData(ByteReader upkReader)
        {
            upkReader.Skip(8);
            int flags = upkReader.ReadInt32();
            int count = upkReader.ReadInt32();
            upkReader.Skip(8);
            if (flags != 0)
            {
                upkReader.Skip(64);
            }
            else if (count != 0)
            {
                if (count < 0)
                    throw new DamagedPackageException("negative inline data count " + count + " at offset " + (upkReader.Position - 12));
                upkReader.Skip(count);
                upkReader.Skip(64);
            }
            else
            {
                upkReader.Skip(16);
            }
        }
    }
}
