using System;
using System.Collections.Generic;
using System.IO;
using System.Text;

// Merges profiles of the runtime's AOT profiler into one file whose bytes
// depend only on the set of methods recorded: every method once, in
// ordinal order of its description, each record written before its first
// use, and the module versions left empty (the AOT compiler matches
// assemblies by name alone). Also writes the sorted list of methods, one a
// line, for review.
//   mono MergeProfiles.exe OUT.aotprofile OUT-LIST.txt IN.aotprofile...
public static class MergeProfiles
{
    const string Magic = "AOTPROFILE";
    const int Version = 0x00010000;
    enum Record : byte { None, Image, Type, GInst, Method }
    const byte ClassType = 0x12;  // MONO_TYPE_CLASS

    // A type: its assembly, its name and its type arguments (none: null).
    sealed class TypeRef
    {
        public string Image, Name;
        public List<TypeRef> Args;
        public string Key()
        {
            if (Args == null) return Image + ":" + Name;
            var parts = new List<string>();
            foreach (TypeRef a in Args) parts.Add(a.Key());
            return Image + ":" + Name + "<" + string.Join(",", parts) + ">";
        }
    }

    sealed class MethodRef
    {
        public TypeRef Class;
        public List<TypeRef> Args;
        public int ParamCount;
        public string Name, Signature;
        public string Key()
        {
            string inst = "";
            if (Args != null)
            {
                var parts = new List<string>();
                foreach (TypeRef a in Args) parts.Add(a.Key());
                inst = "<" + string.Join(",", parts) + ">";
            }
            return Class.Key() + "::" + Name + inst + " (" + Signature + ")/" + ParamCount;
        }
    }

    static int ReadInt(BinaryReader r) { return r.ReadInt32(); }
    static string ReadString(BinaryReader r)
    {
        int n = r.ReadInt32();
        return Encoding.UTF8.GetString(r.ReadBytes(n));
    }

    static void Read(string path, SortedDictionary<string, MethodRef> methods)
    {
        using (var r = new BinaryReader(File.OpenRead(path)))
        {
            if (Encoding.ASCII.GetString(r.ReadBytes(Magic.Length)) != Magic || ReadInt(r) != Version)
                throw new InvalidDataException(path + ": not an AOT profile of version 1.0");
            var images = new Dictionary<int, string>();
            var types = new Dictionary<int, TypeRef>();
            var ginsts = new Dictionary<int, List<TypeRef>>();
            while (true)
            {
                var kind = (Record)r.ReadByte();
                int id = ReadInt(r);
                if (kind == Record.None) break;
                switch (kind)
                {
                    case Record.Image:
                        images[id] = ReadString(r);
                        ReadString(r);  // the module version
                        break;
                    case Record.GInst:
                    {
                        int n = ReadInt(r);
                        var args = new List<TypeRef>();
                        for (int i = 0; i < n; i++) args.Add(types[ReadInt(r)]);
                        ginsts[id] = args;
                        break;
                    }
                    case Record.Type:
                    {
                        if (r.ReadByte() != ClassType) throw new InvalidDataException(path + ": unknown type record");
                        string image = images[ReadInt(r)];
                        int inst = ReadInt(r);
                        types[id] = new TypeRef { Image = image, Args = inst == -1 ? null : ginsts[inst], Name = ReadString(r) };
                        break;
                    }
                    case Record.Method:
                    {
                        var m = new MethodRef { Class = types[ReadInt(r)] };
                        int inst = ReadInt(r);
                        m.Args = inst == -1 ? null : ginsts[inst];
                        m.ParamCount = ReadInt(r);
                        m.Name = ReadString(r);
                        m.Signature = ReadString(r);
                        methods[m.Key()] = m;
                        break;
                    }
                    default:
                        throw new InvalidDataException(path + ": unknown record " + (int)kind);
                }
            }
        }
    }

    sealed class Writer
    {
        readonly BinaryWriter w;
        int next;
        readonly Dictionary<string, int> ids = new Dictionary<string, int>(StringComparer.Ordinal);
        public Writer(BinaryWriter w) { this.w = w; }

        void Head(Record kind, int id) { w.Write((byte)kind); w.Write(id); }
        void Text(string s) { byte[] b = Encoding.UTF8.GetBytes(s); w.Write(b.Length); w.Write(b); }

        int Image(string name)
        {
            int id;
            if (ids.TryGetValue("image " + name, out id)) return id;
            id = next++;
            Head(Record.Image, id); Text(name); Text("");
            ids["image " + name] = id;
            return id;
        }

        int GInst(List<TypeRef> args)
        {
            if (args == null) return -1;
            var argIds = new List<int>();
            foreach (TypeRef a in args) argIds.Add(Type(a));
            int id = next++;
            Head(Record.GInst, id);
            w.Write(argIds.Count);
            foreach (int a in argIds) w.Write(a);
            return id;
        }

        int Type(TypeRef t)
        {
            int id;
            string key = "type " + t.Key();
            if (ids.TryGetValue(key, out id)) return id;
            int image = Image(t.Image);
            int inst = GInst(t.Args);
            id = next++;
            Head(Record.Type, id); w.Write(ClassType); w.Write(image); w.Write(inst); Text(t.Name);
            ids[key] = id;
            return id;
        }

        public void Method(MethodRef m)
        {
            int klass = Type(m.Class);
            int inst = GInst(m.Args);
            Head(Record.Method, next++);
            w.Write(klass); w.Write(inst); w.Write(m.ParamCount); Text(m.Name); Text(m.Signature);
        }

        public void End() { Head(Record.None, 0); }
    }

    public static int Main(string[] args)
    {
        if (args.Length < 3)
        {
            Console.Error.WriteLine("usage: MergeProfiles.exe OUT.aotprofile OUT-LIST.txt IN.aotprofile...");
            return 2;
        }
        var methods = new SortedDictionary<string, MethodRef>(StringComparer.Ordinal);
        for (int i = 2; i < args.Length; i++) Read(args[i], methods);
        using (var w = new BinaryWriter(File.Create(args[0])))
        {
            w.Write(Encoding.ASCII.GetBytes(Magic));
            w.Write(Version);
            var writer = new Writer(w);
            foreach (MethodRef m in methods.Values) writer.Method(m);
            writer.End();
        }
        var list = new StringBuilder();
        foreach (string key in methods.Keys) list.Append(key).Append('\n');
        File.WriteAllText(args[1], list.ToString(), new UTF8Encoding(false));
        Console.WriteLine("{0} methods from {1} profiles", methods.Count, args.Length - 2);
        return 0;
    }
}
