// Import's use of a walk: the property data re-serialised with the text file's lines in place of the texts.
using System;
using System.Collections.Generic;

namespace tool
{
    /// <summary>
    /// Import's use of a walk: the input is carried to the output as it is
    /// between the events, and at them the walk's property data is
    /// re-serialised. The k-th text property takes line LineCount of the text
    /// file, every string gets a recomputed size and a zero array index, a
    /// walked array gets its new size when its walk is over, a structure
    /// walked as tags of the enclosing list gets its new size when a tag ends
    /// where it ends, and the bulk-data offsets of a sound's additional data
    /// become their absolute place in the output, which is right because the
    /// export is written at its final place in the compiled package.
    /// </summary>
    public sealed class ImportSink : PropertySink
    {
        /// <summary>A size to correct: where it stands in the output and where what it counts starts.</summary>
        private struct EnclosedSize
        {
            public long SizeField;
            public long Start;
            public bool IsStruct;
        }

        private readonly IReadOnlyList<string> lines;
        private readonly bool literal;
        private readonly ByteWriter writer;
        private readonly ByteReader reader;
        private readonly List<EnclosedSize> enclosed = new List<EnclosedSize>();
        /// <summary>Input position up to which the input has been carried to the output.</summary>
        private long carried;

        public int LineCount;

        /// <summary>
        /// A sink for a walk that starts at the reader's position and writes
        /// at the writer's; the walk's errors go to walkErrors. Lines are the
        /// text file's, "{\n}" standing for a line feed, or, when literal,
        /// the texts themselves.
        /// </summary>
        public ImportSink(IReadOnlyList<string> lines, ByteWriter writer, ByteReader reader, int lineCount,
            Action<long> walkErrors, bool literal = false) : base(walkErrors)
        {
            this.lines = lines;
            this.literal = literal;
            this.writer = writer;
            this.reader = reader;
            LineCount = lineCount;
            carried = reader.Position;
        }

        /// <summary>
        /// Readies the sink for the walk of another list, which starts at the
        /// reader's position and writes at the writer's; its texts take the
        /// lines from lineCount on.
        /// </summary>
        public void Restart(int lineCount)
        {
            LineCount = lineCount;
            carried = reader.Position;
            enclosed.Clear();
        }

        public override void StringValue(string name, bool isText, long sizeField, int length, long valueStart, long byteCount)
        {
            CarryTo(sizeField);
            if (isText)
            {
                // Every replaced text goes out as UTF-16, whatever its old form:
                // the game reads 8-bit strings as single-byte characters, so a
                // translation in 8-bit form would not show as written. A
                // "SpokenText" or "Comment" is a text only in 8-bit form, so
                // once compiled it is no longer one: extracting the compiled
                // package leaves out its line, and importing that shorter
                // file into the compiled package passes over it likewise.
                WriteTextLine(lines, writer, ref LineCount, literal);
            }
            else
            {
                writer.WriteInt32((int)(byteCount + 4));
                writer.WriteInt32(0);
                writer.WriteInt32(length);
                writer.WriteBytes(reader.Data, (int)valueStart, (int)byteCount);
            }
            carried = valueStart + byteCount;
        }

        /// <summary>The token is the size field's position in the output.</summary>
        public override long ArrayStart(string name, long sizeField)
        {
            CarryTo(sizeField);
            return writer.Position;
        }

        /// <summary>Writes the array's new size, all that follows its size field, with a zero array index.</summary>
        public override void ArrayEnd(long sizeField)
        {
            CarryTo(reader.Position);
            long end = writer.Position;
            writer.Position = sizeField;
            writer.WriteInt64(end - sizeField - 8);
            writer.Position = end;
        }

        public override int EnclosedStart(bool isStruct, string name, long sizeField, long contentStart)
        {
            CarryTo(contentStart);
            enclosed.Add(new EnclosedSize
            {
                SizeField = writer.Position - (contentStart - sizeField),
                Start = writer.Position,
                IsStruct = isStruct
            });
            return enclosed.Count - 1;
        }

        public override void EnclosedEnd(int token)
        {
            CarryTo(reader.Position);
            EnclosedSize e = enclosed[token];
            long size = writer.Position - e.Start;
            // A struct's size also decides how the walks read it; a new size
            // that would be read as a fixed struct is not written.
            if (size > int.MaxValue || (e.IsStruct && !PropertyTypes.StructHasInnerTags(size)))
                return;
            long end = writer.Position;
            writer.Position = e.SizeField;
            writer.WriteInt32((int)size);
            writer.Position = end;
        }

        /// <summary>Import rewrites additional data only in its one known form: flags 0 and inline bytes.</summary>
        public override void AdditionalData(int flags, int count)
        {
            if (flags != 0 || count <= 0)
                throw new AdditionalDataException();
        }

        public override void BulkDataOffset(long offsetField)
        {
            CarryTo(offsetField);
            writer.WriteInt32((int)(writer.Position + 4));
            carried = offsetField + 4;
        }

        public override void WalkEnd()
        {
            CarryTo(reader.Position);
        }

        /// <summary>
        /// Writes the line at index lineCount as a UTF-16 string value with
        /// its size and a zero array index, "{\n}" turned back into a line
        /// feed unless the line is taken literally, and moves lineCount on by
        /// one. Code units are written one for one, so whatever the text file
        /// held reaches the package. A text file's line goes from its bytes
        /// straight to the writer, its size and length written once it is.
        /// </summary>
        public static void WriteTextLine(IReadOnlyList<string> lines, ByteWriter writer, ref int lineCount, bool literal = false)
        {
            if (lineCount < 0 || lineCount >= lines.Count)
                throw new TooFewLinesException();
            var textFile = lines as TextLines;
            if (textFile != null)
            {
                long header = writer.Position;
                writer.WriteInt64(0);
                writer.WriteInt32(0);
                long written = textFile.WriteValue(lineCount++, !literal, writer);
                writer.WriteBytes(ValueEnd, 0, 2);
                long end = writer.Position;
                writer.Position = header;
                WriteHeader(writer, written + 1);
                writer.Position = end;
                return;
            }
            string line = lines[lineCount++];
            string value = literal ? line : TextFile.UnescapeLine(line);
            WriteHeader(writer, value.Length + 1L);
            writer.WriteUtf16Terminated(value);
        }

        private static readonly byte[] ValueEnd = new byte[2];

        /// <summary>The size, array index and length of a UTF-16 value of units code units, its NUL included.</summary>
        private static void WriteHeader(ByteWriter writer, long units)
        {
            if (2 * units + 4 > int.MaxValue)
                throw new OutputTooLargeException();
            writer.WriteInt32((int)(2 * units + 4));
            writer.WriteInt32(0);
            writer.WriteInt32((int)-units);
        }

        private void CarryTo(long position)
        {
            writer.WriteBytes(reader.Data, (int)carried, (int)(position - carried));
            carried = position;
        }
    }
}
