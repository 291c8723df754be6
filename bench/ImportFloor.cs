using System;
using System.IO;

// The memory and disk traffic that any import must have, without parsing:
// reads the package and the text file whole, builds an output of the
// compiled package's length from the package's bytes in one buffer, and
// writes it with one write followed by a flush to disk, as the tool does.
//   mono ImportFloor.exe PACKAGE TEXTFILE OUTPUT OUTPUT_LENGTH
public static class ImportFloor
{
    public static void Main(string[] args)
    {
        byte[] package = File.ReadAllBytes(args[0]);
        byte[] text = File.ReadAllBytes(args[1]);
        long length = long.Parse(args[3]);
        var output = new byte[length];
        for (long at = 0; at < length; at += package.Length)
            Buffer.BlockCopy(package, 0, output, (int)at, (int)Math.Min(package.Length, length - at));
        using (var stream = new FileStream(args[2], FileMode.Create, FileAccess.Write, FileShare.None))
        {
            stream.Write(output, 0, output.Length);
            stream.Flush(true);
        }
        Console.WriteLine(text.Length + output[output.Length / 2]);
    }
}
