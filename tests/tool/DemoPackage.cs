using System;
using System.Collections.Generic;
using System.Text;

namespace tool.Tests
{
    /// <summary>
    /// The demo package shipped as samples/Demo.upk: a small subtitle package
    /// shaped like the game's own. A sound cue and an object referencer that
    /// hold no text, sound waves whose spoken text and subtitle cues are lines
    /// of dialogue (one with a line feed, one with its cues under a localized
    /// subtitle list), two presentation definitions with UTF-16 texts in
    /// several scripts, and a sound wave of the extended class last.
    /// Every sound wave ends in well-formed additional data whose offsets are
    /// the absolute file positions the game expects. The objects have names
    /// as the game's have, two numbered and the first wave inside its cue, so
    /// PO keys read like Wave_Nowhere:Subtitles[1].Text.
    /// </summary>
    public static class DemoPackage
    {
        /// <summary>The key of each line in a PO file of the demo package.</summary>
        public static readonly string[] Keys =
        {
            "Cue_LastNight.SoundNodeWave_3:SpokenText",
            "Wave_Nowhere:Subtitles[0].Text",
            "Wave_Nowhere:Subtitles[1].Text",
            "Wave_Nowhere:SpokenText",
            "Wave_Gate:SpokenText",
            "Wave_Gate:LocalizedSubtitles[0].Subtitles[0].Text",
            "Wave_Gate:LocalizedSubtitles[1].Subtitles[0].Text",
            "Attr_Persuasion:Text",
            "Attr_Persuasion:Description",
            "Attr_Persuasion:Comment",
            "Attr_Focus:Text",
            "Attr_Focus:Description",
            "Wave_LightsOut:SpokenText",
        };

        /// <summary>The lines that extracting the demo package gives, in order (line feeds unescaped).</summary>
        public static readonly string[] ExtractedLines =
        {
            "Where were you last night?",
            "Nowhere you need to know about.\nLeave it.",
            "You could have called.",
            "Nowhere you need to know about. Leave it. You could have called.",
            "The gate stays shut until morning.",
            "Das Tor bleibt bis zum Morgen geschlossen.",
            "Ворота закрыты до утра.",
            "Überzeugungskraft",
            "Erhöht die Chance, ein Gespräch für sich zu entscheiden. Повышает шанс убедить собеседника.",
            "Shown on the character sheet.",
            "注意力",
            "Ελαττώνει τον χρόνο αντίδρασης. 反応時間を短くする。",
            "Lights out in five minutes.",
        };

        /// <summary>
        /// Indices in ExtractedLines of the 8-bit "SpokenText" and "Comment"
        /// texts of the exports that import rewrites. A compiled package holds
        /// them as UTF-16, in which form they are no texts: extracting it
        /// gives every line but these.
        /// </summary>
        public static readonly int[] EightBitOnlyLines = { 0, 3, 4, 9 };

        /// <summary>The demo package's bytes; the same on every call.</summary>
        public static byte[] Build()
        {
            // The additional data holds absolute offsets, which depend on where
            // each export's data lands: lay the package out once to learn the
            // offsets (sizes do not depend on them), then build it for real.
            PackageBuilder draft = Compose(null);
            draft.Build();
            var dataStarts = new int[draft.Exports.Count];
            for (int i = 0; i < dataStarts.Length; i++) dataStarts[i] = draft.Exports[i].SerialOffset + 4;

            PackageBuilder final = Compose(dataStarts);
            byte[] bytes = final.Build();
            for (int i = 0; i < dataStarts.Length; i++)
            {
                if (final.Exports[i].SerialOffset + 4 != dataStarts[i])
                    throw new InvalidOperationException("demo layout moved between passes");
            }
            return bytes;
        }

        /// <summary>
        /// The package with every export; <paramref name="dataStarts"/> gives each
        /// export's property data offset (null: 0 for the first layout pass).
        /// </summary>
        private static PackageBuilder Compose(int[] dataStarts)
        {
            var b = new PackageBuilder();
            b.FolderName = Encoding.ASCII.GetBytes("VO_Chapter01\0");
            b.PackageFlags = 0x00080009;
            // The writer puts its name at index 0 first; later names follow in use order.
            var names = new PropertyWriter(b.Names);
            b.AddImport("Core");
            b.AddImport("Engine");
            b.AddImport("Class");

            int export = 0;

            // 0: the cue that plays the first wave; no text class.
            var cue = names.Nested();
            cue.Float("VolumeMultiplier", 0.75f)
               .Float("PitchMultiplier", 1.0f)
               .Object("FirstNode", 2)
               .None();
            Add(b, "SoundCue", cue.ToSerialData(), new[] { 3 });
            export++;

            // 1: a wave with its spoken text only.
            var wave1 = Wave(names, dataStarts, export);
            wave1.Str("SpokenText", "Where were you last night?")
                 .Float("Duration", 1.8f)
                 .Int("NumChannels", 1)
                 .Int("SampleRate", 22050)
                 .None()
                 .AdditionalData(Audio(48, 1));
            Add(b, "SoundNodeWave", wave1.ToSerialData(), new int[0]);
            export++;

            // 2: a wave with two subtitle cues, the first broken over two lines,
            // an empty comment (no line) and an arbitrary leading value.
            var wave2 = Wave(names, dataStarts, export);
            wave2.Bool("bManualWordWrap", true)
                 .Array("Subtitles", 2, delegate(PropertyWriter e)
                 {
                     e.Str("Text", "Nowhere you need to know about.\nLeave it.").Float("Time", 0.0f).None();
                     e.Str("Text", "You could have called.").Float("Time", 3.5f).None();
                 })
                 .Str("SpokenText", "Nowhere you need to know about. Leave it. You could have called.")
                 .StrRaw("Comment", 0, new byte[0])
                 .Float("Duration", 5.1f)
                 .None()
                 .AdditionalData(Audio(96, 2), new[] { 0, 0x20, 0, 0 });
            Add(b, "SoundNodeWave", wave2.ToSerialData(), new[] { 1, 5 });
            export++;

            // 3: the referencer that keeps the cues loaded; its short array is passed over whole.
            var referencer = names.Nested();
            referencer.Array("ReferencedObjects", 2, delegate(PropertyWriter e) { e.Int32(1).Int32(3); })
                      .None();
            Add(b, "ObjectReferencer", referencer.ToSerialData(), new int[0]);
            export++;

            // 4: a wave whose cues stand in its localized subtitles, after the
            // decompression method (a byte property holding an enumeration value).
            var wave4 = Wave(names, dataStarts, export);
            wave4.Str("SpokenText", "The gate stays shut until morning.")
                 .ByteEnum("DecompressionType", "EDecompressionType", "DTYPE_Setup")
                 .Array("LocalizedSubtitles", 2, delegate(PropertyWriter e)
                 {
                     e.Str("LanguageExt", "DEU")
                      .Array("Subtitles", 1, delegate(PropertyWriter c)
                      {
                          c.Str("Text", "Das Tor bleibt bis zum Morgen geschlossen.").Float("Time", 0.0f).None();
                      })
                      .Bool("bMature", false)
                      .None();
                     e.Str("LanguageExt", "RUS")
                      .Array("Subtitles", 1, delegate(PropertyWriter c)
                      {
                          c.StrUtf16("Text", "Ворота закрыты до утра.").Float("Time", 0.0f).None();
                      })
                      .Bool("bMature", false)
                      .None();
                 })
                 .None()
                 .AdditionalData(Audio(64, 4));
            Add(b, "SoundNodeWave", wave4.ToSerialData(), new int[0]);
            export++;

            // 5 and 6: presentation definitions, texts stored as UTF-16.
            var attribute5 = names.Nested();
            attribute5.StrUtf16("Text", "Überzeugungskraft")
                      .StrUtf16("Description",
                          "Erhöht die Chance, ein Gespräch für sich zu entscheiden. Повышает шанс убедить собеседника.")
                      .Int("IconIndex", 12)
                      .StructSmall("IconOffset", 12, "Vector", Floats(0f, 4f, -2f))
                      .Str("Comment", "Shown on the character sheet.")
                      .StrUtf16("Comment", "Not extracted: a comment in UTF-16 is not a text.")
                      .None();
            Add(b, "AttributePresentationDefinition", attribute5.ToSerialData(0), new int[0]);
            export++;

            var attribute6 = names.Nested();
            attribute6.StrUtf16("Text", "注意力")
                      .StrUtf16("Description", "Ελαττώνει τον χρόνο αντίδρασης. 反応時間を短くする。")
                      .Int("IconIndex", 7)
                      .None();
            Add(b, "AttributePresentationDefinition", attribute6.ToSerialData(0), new int[0]);
            export++;

            // 7: a wave of the extended class; it stands last in the table.
            var wave7 = Wave(names, dataStarts, export);
            wave7.Str("SpokenText", "Lights out in five minutes.")
                 .Float("Duration", 2.2f)
                 .None()
                 .AdditionalData(Audio(32, 7));
            Add(b, "SoundNodeWaveEx", wave7.ToSerialData(), new int[0]);

            // Object names, after the property names in the name table.
            // The first wave is a node of the cue that plays it, inside it.
            string[] objectNames = { "Cue_LastNight", "SoundNodeWave", "Wave_Nowhere", "ObjectReferencer", "Wave_Gate",
                "Attr_Persuasion", "Attr_Focus", "Wave_LightsOut" };
            int[] numbers = { 0, 4, 0, 1, 0, 0, 0, 0 };
            int[] outers = { 0, 1, 0, 0, 0, 0, 0, 0 };
            for (int i = 0; i < objectNames.Length; i++) b.Name(b.Exports[i], objectNames[i], numbers[i], outers[i]);
            return b;
        }

        private static PropertyWriter Wave(PropertyWriter names, int[] dataStarts, int export)
        {
            var w = names.Nested();
            w.BaseOffset = dataStarts == null ? 0 : dataStarts[export];
            return w;
        }

        private static void Add(PackageBuilder b, string className, byte[] data, int[] values)
        {
            BuiltExport added = b.AddExport(className, data);
            added.Values = values;
        }

        /// <summary>Stand-in for compressed sound data: a fixed, varied byte pattern.</summary>
        public static byte[] Audio(int length, int seed)
        {
            var bytes = new byte[length];
            uint state = (uint)(0x9E3779B9 * (uint)seed);
            for (int i = 0; i < length; i++)
            {
                state = state * 1664525 + 1013904223;
                bytes[i] = (byte)(state >> 24);
            }
            return bytes;
        }

        private static byte[] Floats(params float[] values)
        {
            var bytes = new List<byte>();
            foreach (float v in values) bytes.AddRange(BitConverter.GetBytes(v));
            return bytes.ToArray();
        }
    }
}
