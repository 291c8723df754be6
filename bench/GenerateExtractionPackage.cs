using System;
using System.Collections.Generic;
using System.IO;
using System.Text;

// Writes a synthetic package for timing extraction:
//   mono GenerateExtractionPackage.exe OUT.upk [MEGABYTES] [EXPORTS] [NAMES]
// (defaults 100 MB, 20,000 exports, no extra names). NAMES one-character
// names (14 bytes each) are added to the name table, none of them used. Three exports in four are sounds with
// subtitle arrays and inline sound data, the fourth a presentation
// definition; the inline data of the sounds fills the package to the size
// asked for. Objects are named as the engine names them unasked, by class
// and number (SoundNodeWave_0, AttributePresentationDefinition_3).
public static class GenerateExtractionPackage
{
    private static readonly List<string> names = new List<string>();

    private static int Name(string name)
    {
        int i = names.IndexOf(name);
        if (i >= 0) return i;
        names.Add(name);
        return names.Count - 1;
    }

    private static void NameRef(BinaryWriter w, string name)
    {
        w.Write(Name(name));
        w.Write(0);
    }

    private static void Tag(BinaryWriter w, string name, string type)
    {
        NameRef(w, name);
        NameRef(w, type);
    }

    private static void Str(BinaryWriter w, string name, string value, bool wide)
    {
        byte[] bytes = wide ? Encoding.Unicode.GetBytes(value + "\0") : Encoding.UTF8.GetBytes(value + "\0");
        Tag(w, name, "StrProperty");
        w.Write(bytes.Length + 4);
        w.Write(0);
        w.Write(wide ? -(bytes.Length / 2) : bytes.Length);
        w.Write(bytes);
    }

    private static void Float(BinaryWriter w, string name, float value)
    {
        Tag(w, name, "FloatProperty");
        w.Write(4);
        w.Write(0);
        w.Write(value);
    }

    private static byte[] Bytes(Action<BinaryWriter> write)
    {
        var stream = new MemoryStream();
        var w = new BinaryWriter(stream);
        write(w);
        w.Flush();
        return stream.ToArray();
    }

    private static void Array(BinaryWriter w, string name, int count, byte[] elements)
    {
        Tag(w, name, "ArrayProperty");
        w.Write((long)elements.Length + 4);
        w.Write(count);
        w.Write(elements);
    }

    /// <summary>A sound's properties up to its closing "None"; the additional data follows later.</summary>
    private static byte[] SoundProperties(int n)
    {
        byte[] subtitles = Bytes(e =>
        {
            for (int i = 0; i < 3; i++)
            {
                Str(e, "Text", "Line " + n + ", part " + i + ": \u00ABKeep moving, we're almost there.\u00BB", true);
                Float(e, "Time", i * 1.5f);
                NameRef(e, "None");
            }
        });
        byte[] localized = Bytes(e =>
        {
            Str(e, "LanguageExt", "INT", false);
            Array(e, "Subtitles", 3, subtitles);
            NameRef(e, "None");
        });
        return Bytes(w =>
        {
            w.Write(-1);
            Str(w, "SpokenText", "Keep moving, we're almost there (" + n + ").", false);
            Str(w, "Comment", "Guard, to the player, out of breath", false);
            Tag(w, "Gender", "ByteProperty");
            w.Write(8);
            w.Write(0);
            NameRef(w, "EGender");
            NameRef(w, "EGender_Male");
            Array(w, "LocalizedSubtitles", 1, localized);
            Float(w, "Duration", 4.5f);
            NameRef(w, "None");
        });
    }

    private static byte[] PresentationProperties(int n)
    {
        return Bytes(w =>
        {
            w.Write(-1);
            Str(w, "Description", "Attribute " + n + ": raises stamina while sprinting.", false);
            Str(w, "Text", "Stamina " + n, true);
            Tag(w, "Value", "IntProperty");
            w.Write(4);
            w.Write(0);
            w.Write(n);
            NameRef(w, "None");
        });
    }

    public static int Main(string[] args)
    {
        if (args.Length < 1)
        {
            Console.Error.WriteLine("usage: GenerateExtractionPackage OUT.upk [MEGABYTES] [EXPORTS]");
            return 2;
        }
        long target = (args.Length > 1 ? long.Parse(args[1]) : 100) * 1024 * 1024;
        int exportCount = args.Length > 2 ? int.Parse(args[2]) : 20000;
        int fillerNames = args.Length > 3 ? int.Parse(args[3]) : 0;

        // Index 0 must not be a tag's name: it marks the additional data.
        Name("Core");
        Name("None");
        int soundClass = -1, presentationClass = -2;
        string[] imports = { "SoundNodeWave", "AttributePresentationDefinition" };
        foreach (string import in imports) Name(import);

        var properties = new byte[exportCount][];
        int sounds = 0;
        long propertyBytes = 0;
        for (int k = 0; k < exportCount; k++)
        {
            bool sound = k % 4 != 3;
            properties[k] = sound ? SoundProperties(k) : PresentationProperties(k);
            propertyBytes += properties[k].Length;
            if (sound) sounds++;
        }

        var nameTable = Bytes(w =>
        {
            foreach (string name in names)
            {
                byte[] bytes = Encoding.UTF8.GetBytes(name + "\0");
                w.Write(bytes.Length);
                w.Write(bytes);
                w.Write(0L);
            }
            for (int i = 0; i < fillerNames; i++)
            {
                w.Write(2);
                w.Write((byte)('a' + i % 26));
                w.Write((byte)0);
                w.Write(0L);
            }
        });
        const int summaryBytes = 44 + 5;
        int importOffset = summaryBytes + nameTable.Length;
        int exportOffset = importOffset + 28 * imports.Length;
        int serialStart = exportOffset + 68 * exportCount;
        // Additional data without the inline bytes: six records of 16 bytes.
        long fixedBytes = serialStart + propertyBytes + 96L * sounds;
        int inline = (int)Math.Max(1, (target - fixedBytes) / Math.Max(1, sounds));

        var sizes = new int[exportCount];
        for (int k = 0; k < exportCount; k++)
            sizes[k] = properties[k].Length + (k % 4 != 3 ? 96 + inline : 0);

        using (var file = new FileStream(args[0], FileMode.Create, FileAccess.Write, FileShare.None, 1 << 20))
        {
            var w = new BinaryWriter(file);
            w.Write(0x9E2A83C1u);
            w.Write(0x0062035Cu);
            w.Write(serialStart);
            w.Write(5);
            w.Write(Encoding.ASCII.GetBytes("None\0"));
            w.Write(0x00080009);
            w.Write(names.Count + fillerNames);
            w.Write(summaryBytes);
            w.Write(exportCount);
            w.Write(exportOffset);
            w.Write(imports.Length);
            w.Write(importOffset);
            w.Write(nameTable);
            foreach (string import in imports)
            {
                w.Write(new byte[20]);
                w.Write((long)Name(import));
            }
            long offset = serialStart;
            for (int k = 0; k < exportCount; k++)
            {
                w.Write(k % 4 != 3 ? soundClass : presentationClass);
                w.Write(0L);
                w.Write(Name(imports[k % 4 != 3 ? 0 : 1]));
                w.Write(k + 1);
                w.Write(new byte[12]);
                w.Write(sizes[k]);
                w.Write((int)offset);
                w.Write(0);
                w.Write(0);
                w.Write(new byte[20]);
                offset += sizes[k];
            }
            var noise = new byte[inline];
            uint state = 2463534242;
            for (int k = 0; k < exportCount; k++)
            {
                long start = file.Position;
                w.Write(properties[k]);
                if (k % 4 == 3) continue;
                // Six bulk-data records, the second followed by the inline sound data.
                w.Write(0); w.Write(0); w.Write(0); w.Write((int)(file.Position + 4));
                w.Write(0); w.Write(inline); w.Write(inline); w.Write((int)(file.Position + 4));
                for (int i = 0; i < noise.Length; i++)
                {
                    state ^= state << 13; state ^= state >> 17; state ^= state << 5;
                    noise[i] = (byte)state;
                }
                w.Write(noise);
                for (int r = 0; r < 4; r++) { w.Write(0); w.Write(0); w.Write(0); w.Write(0); }
                if (file.Position - start != sizes[k]) throw new InvalidOperationException("size mismatch in export " + k);
            }
            w.Flush();
            Console.WriteLine("{0}: {1} bytes, {2} exports ({3} sounds), {4} texts", args[0], file.Length,
                exportCount, sounds, sounds * 5 + (exportCount - sounds) * 2);
        }
        return 0;
    }
}
