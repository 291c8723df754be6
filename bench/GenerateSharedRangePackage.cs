using System;
using System.IO;
using System.Text;

// Writes a package whose export entries all point at one and the same
// serial range, as a hostile package may:
//   mono GenerateSharedRangePackage.exe OUT.upk [KILOBYTES]   (default 1720)
// Half the file is export table (68 bytes an entry, every entry a
// presentation definition), half the shared range: one 8-bit "Description"
// text, then integer properties. A tool that walked every entry's range
// would do work in proportion to the square of the file's size, and import
// would append a copy of the range for every entry; the text file it
// compiles needs one line per entry.
public static class GenerateSharedRangePackage
{
    private static void Text(BinaryWriter w)
    {
        byte[] bytes = Encoding.UTF8.GetBytes("Shared text, read once per entry\0");
        w.Write(2); w.Write(0);   // "Description"
        w.Write(3); w.Write(0);   // "StrProperty"
        w.Write(bytes.Length + 4);
        w.Write(0);
        w.Write(bytes.Length);
        w.Write(bytes);
    }

    private static void Int(BinaryWriter w, int n)
    {
        w.Write(4); w.Write(0);   // "Value"
        w.Write(5); w.Write(0);   // "IntProperty"
        w.Write(4);
        w.Write(0);
        w.Write(n);
    }

    public static int Main(string[] args)
    {
        if (args.Length < 1)
        {
            Console.Error.WriteLine("usage: GenerateSharedRangePackage OUT.upk [KILOBYTES]");
            return 2;
        }
        long target = (args.Length > 1 ? long.Parse(args[1]) : 1720) * 1024;
        string[] names = { "AttributePresentationDefinition", "None", "Description", "StrProperty", "Value", "IntProperty" };

        var range = new MemoryStream();
        var r = new BinaryWriter(range);
        r.Write(-1);
        Text(r);
        for (int value = 0; range.Length < target / 2; value++) Int(r, value);
        r.Write(1); r.Write(0);   // "None"
        r.Flush();

        var nameTable = new MemoryStream();
        var n = new BinaryWriter(nameTable);
        foreach (string name in names)
        {
            byte[] bytes = Encoding.ASCII.GetBytes(name + "\0");
            n.Write(bytes.Length); n.Write(bytes); n.Write(0L);
        }
        n.Flush();

        const int summaryBytes = 44 + 5;
        int importOffset = summaryBytes + (int)nameTable.Length;
        int exportOffset = importOffset + 28;
        int exports = (int)Math.Max(1, (target - exportOffset - range.Length) / 68);
        int serialOffset = exportOffset + 68 * exports;

        using (var file = new FileStream(args[0], FileMode.Create, FileAccess.Write, FileShare.None, 1 << 20))
        {
            var w = new BinaryWriter(file);
            w.Write(0x9E2A83C1u); w.Write(0x0062035Cu); w.Write(serialOffset);
            w.Write(5); w.Write(Encoding.ASCII.GetBytes("None\0"));
            w.Write(0x00080009);
            w.Write(names.Length); w.Write(summaryBytes);
            w.Write(exports); w.Write(exportOffset);
            w.Write(1); w.Write(importOffset);
            w.Write(nameTable.ToArray());
            w.Write(new byte[20]); w.Write(0L);   // the one import: the class
            for (int k = 0; k < exports; k++)
            {
                w.Write(-1); w.Write(new byte[28]);
                w.Write((int)range.Length); w.Write(serialOffset);
                w.Write(0); w.Write(0); w.Write(new byte[20]);
            }
            w.Write(range.ToArray());
            w.Flush();
            Console.WriteLine("{0} exports sharing one range of {1} bytes, {2} bytes in all", exports, range.Length, file.Length);
        }
        return 0;
    }
}
