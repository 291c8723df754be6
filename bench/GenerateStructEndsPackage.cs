using System;
using System.IO;
using System.Text;

// Writes a package for timing import on structs whose ends are never met:
//   mono GenerateStructEndsPackage.exe OUT.upk STRUCTS [MEGABYTES]
// One presentation definition whose properties are STRUCTS struct tags,
// each claiming inner tags up to far beyond the export, then "None" tags up
// to MEGABYTES (default 100), then one text. With STRUCTS 0 it is the same
// package without the structs, for comparison.
public static class GenerateStructEndsPackage
{
    private static readonly string[] Names =
        { "Core", "None", "AttributePresentationDefinition", "StructProperty", "Vector", "Text", "StrProperty", "Offset" };

    private static int Name(string name)
    {
        return Array.IndexOf(Names, name);
    }

    public static int Main(string[] args)
    {
        if (args.Length < 2)
        {
            Console.Error.WriteLine("usage: GenerateStructEndsPackage OUT.upk STRUCTS [MEGABYTES]");
            return 2;
        }
        int structs = int.Parse(args[1]);
        long target = (args.Length > 2 ? long.Parse(args[2]) : 100) * 1024 * 1024;

        var nameTable = new MemoryStream();
        var n = new BinaryWriter(nameTable);
        foreach (string name in Names)
        {
            byte[] bytes = Encoding.ASCII.GetBytes(name + "\0");
            n.Write(bytes.Length);
            n.Write(bytes);
            n.Write(0L);
        }
        n.Flush();
        const int summaryBytes = 44 + 5;
        int importOffset = summaryBytes + (int)nameTable.Length;
        int exportOffset = importOffset + 28;
        int serialStart = exportOffset + 68;
        byte[] text = Encoding.Unicode.GetBytes("After the padding\0");
        long fixedBytes = 4 + 32L * structs + 16 + 12 + text.Length + 8;
        long nones = Math.Max(0, (target - serialStart - fixedBytes) / 8);
        long serialSize = fixedBytes + 8 * nones;

        using (var file = new FileStream(args[0], FileMode.Create, FileAccess.Write, FileShare.None, 1 << 20))
        {
            var w = new BinaryWriter(file);
            w.Write(0x9E2A83C1u);
            w.Write(0x0062035Cu);
            w.Write(serialStart);
            w.Write(5);
            w.Write(Encoding.ASCII.GetBytes("None\0"));
            w.Write(0x00080009);
            w.Write(Names.Length);
            w.Write(summaryBytes);
            w.Write(1);
            w.Write(exportOffset);
            w.Write(1);
            w.Write(importOffset);
            w.Write(nameTable.ToArray());
            w.Write(new byte[20]);
            w.Write((long)Name("AttributePresentationDefinition"));
            w.Write(-1);
            w.Write(new byte[28]);
            w.Write((int)serialSize);
            w.Write(serialStart);
            w.Write(0);
            w.Write(0);
            w.Write(new byte[20]);

            w.Write(-1);
            for (int i = 0; i < structs; i++)
            {
                w.Write((long)Name("Offset"));
                w.Write((long)Name("StructProperty"));
                w.Write((long)int.MaxValue);
                w.Write((long)Name("Vector"));
            }
            var none = BitConverter.GetBytes((long)Name("None"));
            var chunk = new byte[8 * 65536];
            for (int i = 0; i < chunk.Length; i += 8) Buffer.BlockCopy(none, 0, chunk, i, 8);
            for (long left = nones; left > 0; left -= 65536)
                w.Write(chunk, 0, (int)(8 * Math.Min(left, 65536)));
            w.Write((long)Name("Text"));
            w.Write((long)Name("StrProperty"));
            w.Write(text.Length + 4);
            w.Write(0);
            w.Write(-(text.Length / 2));
            w.Write(text);
            w.Write((long)Name("None"));
            w.Flush();
            Console.WriteLine("{0}: {1} bytes, {2} structs, {3} None tags", args[0], file.Length, structs, nones);
        }
        return 0;
    }
}
