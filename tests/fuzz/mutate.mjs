// File mutation for the fuzz harness: valid files of every kind the view
// reads (STEP models, XML result grids in every encoding, legacy frames,
// STL, the text tables), changed a little, and the command that reads each.
//
//   const source = prepareMutation({ scratch, gen, root, seriesDir, random, generator });
//   const message = source.next();   // { kind: 'mutant', files: [{ path, bytes }], text }
//
// The harness writes message.files (each through a temporary name and a
// rename, so the view never sees half a file) and then sends message.text.
// Mutants go to a ring of names, so a file is not rewritten while a command
// that names it may still wait in the view.

import { execFileSync } from 'node:child_process';
import { existsSync, mkdirSync, readFileSync, renameSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';

const OCC_STEP = '/usr/share/opencascade/data/step';
const RING = 200;
const MODEL_STEM = 'locomotive_bogieassembly_sldasm2';

const EDGE_NUMBERS = ['0', '-1', '1', '2', '3', '7', '255', '65536', '2147483647', '2147483648', '-2147483649',
  '4294967295', '9223372036854775807', '18446744073709551616', '1e308', '-1e308', '1e-320', 'nan', 'inf', '00',
  '3.5', '-0', '99999999999999999999'];
const XML_VALUES = ['String', 'Float64', 'Float32', 'Int8', 'UInt64', 'Int32', 'Bit', 'IdType', 'UInt32', 'UInt16',
  'vtkZLibDataCompressor', 'vtkLZ4DataCompressor', 'vtkLZMADataCompressor', 'vtkNoCompressor', 'BigEndian',
  'LittleEndian', 'appended', 'binary', 'ascii', 'raw', 'base64', 'ImageData', 'StructuredGrid', '',
  '0 0 0 0 0 0', '0 -1 0 0 0 0', '0 2147483647 0 2 0 2', '0 4 0 2 0'];
const INSERTED_LINES = [
  'FIELD FieldData 1', 'FIELD FieldData 2147483647', 'POINTS 9999999 float', 'POINT_DATA 3', 'CELL_DATA 9',
  'SCALARS s float 1', 'LOOKUP_TABLE default', 'METADATA', 'VECTORS v double', 'CELLS 3 9', 'DIMENSIONS 2 2 2',
  'a 2147483647 1 float', '<DataArray type="String" Name="s" format="ascii">a b</DataArray>',
  '<DataArray type="Float32" NumberOfComponents="2147483647" format="ascii"/>', '<Piece Extent="0 1 0 1 0 1">',
  '</PointData>', '<AppendedData encoding="raw">_', '#99999=CARTESIAN_POINT(\'\',(0.,0.,0.));',
  '#1=B_SPLINE_SURFACE(1,1,((#1,#1),(#1,#1)),.UNSPECIFIED.,.F.,.F.,.F.);', 'ENDSEC;', 'DATA;',
  '$Points', '$line', '0 0 0', '1e308 -1e308 nan', 'Mode 1: 1e400', 'solid x', 'endsolid', 'facet normal 0 0 1',
  'outer loop', 'vertex 1 2', '', '\u0000\u0001\u0002'];

function lines(text) {
  return text.split('\n');
}

// --------------------------------------------------------------- mutations

function truncate(bytes, r) {
  return bytes.subarray(0, r.int(bytes.length + 1));
}

function flipBytes(bytes, r) {
  const out = Buffer.from(bytes);
  const flips = 1 + r.int(8);
  for (let i = 0; i < flips && out.length > 0; i++) out[r.int(out.length)] = r.int(256);
  return out;
}

// A number in the header part (or anywhere in a text file) becomes an edge value.
function changeNumber(bytes, r, headerBytes) {
  const text = bytes.toString('latin1');
  const region = text.slice(0, headerBytes);
  const numbers = [...region.matchAll(/-?\d+(\.\d+)?(e[-+]?\d+)?/gi)];
  if (numbers.length === 0) return flipBytes(bytes, r);
  const m = r.pick(numbers);
  return Buffer.from(text.slice(0, m.index) + r.pick(EDGE_NUMBERS) + text.slice(m.index + m[0].length), 'latin1');
}

function changeAttribute(bytes, r) {
  const text = bytes.toString('latin1');
  const end = text.indexOf('<AppendedData');
  const region = end < 0 ? text : text.slice(0, end);
  const attributes = [...region.matchAll(/(\w+)="([^"]*)"/g)];
  if (attributes.length === 0) return changeNumber(bytes, r, 4096);
  const m = r.pick(attributes);
  const value = r.chance(0.5) ? r.pick(XML_VALUES) : r.pick(EDGE_NUMBERS);
  return Buffer.from(`${text.slice(0, m.index)}${m[1]}="${value}"${text.slice(m.index + m[0].length)}`, 'latin1');
}

function insertLine(bytes, r) {
  const all = lines(bytes.toString('latin1'));
  all.splice(r.int(all.length + 1), 0, r.pick(INSERTED_LINES));
  return Buffer.from(all.join('\n'), 'latin1');
}

function removeLine(bytes, r) {
  const all = lines(bytes.toString('latin1'));
  if (all.length > 1) all.splice(r.int(all.length), 1);
  return Buffer.from(all.join('\n'), 'latin1');
}

// The references of one entity point at another entity (of any type).
function swapStepReference(bytes, r) {
  const text = bytes.toString('latin1');
  const data = text.indexOf('DATA;');
  const ids = [...text.matchAll(/^#(\d+)\s*=/gm)].map((m) => m[1]);
  const refs = [...text.slice(data).matchAll(/#(\d+)(?!\s*=)/g)];
  if (ids.length === 0 || refs.length === 0) return flipBytes(bytes, r);
  let out = text;
  for (let n = 1 + r.int(3); n > 0; n--) {
    const m = r.pick(refs);
    const at = data + m.index;
    if (out.slice(at, at + m[0].length) !== m[0]) continue;
    out = `${out.slice(0, at)}#${r.pick(ids)}${out.slice(at + m[0].length)}`;
  }
  return Buffer.from(out, 'latin1');
}

// One entity takes the number of another; its own number is left undefined.
function duplicateStepId(bytes, r) {
  const text = bytes.toString('latin1');
  const defs = [...text.matchAll(/^#(\d+)\s*=/gm)];
  if (defs.length < 2) return flipBytes(bytes, r);
  const m = r.pick(defs);
  const other = r.pick(defs)[1];
  return Buffer.from(`${text.slice(0, m.index)}#${other}${text.slice(m.index + 1 + m[1].length)}`, 'latin1');
}

function mutate(kind, bytes, r) {
  const common = [truncate, flipBytes, (b) => changeNumber(b, r, kind === 'text' ? b.length : 4096), insertLine,
    removeLine];
  const extra = kind === 'step' ? [swapStepReference, swapStepReference, duplicateStepId, duplicateStepId]
    : kind === 'vts' ? [changeAttribute, changeAttribute, changeAttribute] : [];
  const ways = [...common, ...extra];
  let out = bytes;
  for (let n = 1 + (r.chance(0.3) ? r.int(3) : 0); n > 0; n--) out = r.pick(ways)(out, r);
  return out;
}

// ------------------------------------------------------------- base files

function textTables() {
  const points = [];
  const deformation = [];
  for (let i = 0; i < 30; i++) {
    points.push(`${i % 5} ${(i * 7) % 3} ${(i * 3) % 4}`);
    deformation.push(`${(i % 7) * 0.01} ${i * 0.002} -${i * 0.001}`);
  }
  return {
    eigenvalues: 'Eigenvalues\nMode 1: 6168.5\nMode 2: 2.5e3\nMode 3: 1.25e4\n',
    points: `${points.join('\n')}\n`,
    deformation: `${deformation.join('\n')}\n`,
    beamMesh: '$Points\n0 0 0\n10 0 0\n10 10 0\n0 10 0\n\n$line\n0 1\n1 2\n2 3\n3 0\n',
    stressIndex: '1\n2\n3\n0\n',
    stressValues: '10.5\n20\n30.25\n5\n',
    pts: '0 0 0\n1 0 0\n0 1 0\n1 1 0\n',
    tri: '1 2 3\n2 4 3\n',
  };
}

function baseFiles(samples) {
  const read = (path) => readFileSync(path);
  const tables = textTables();
  const step = [join(OCC_STEP, 'screw.step')].filter(existsSync).map(read);
  const bigStep = [join(OCC_STEP, 'linkrods.step')].filter(existsSync).map(read);
  if (step.length === 0) throw new Error(`no STEP sample under ${OCC_STEP} (Debian package occt-misc)`);
  const vts = ['ascii', 'binary', 'appended-raw', 'appended-base64', 'zlib', 'lz4', 'lzma']
    .map((e) => read(join(samples, `grid-${e}.vts`)));
  const frames = ['frame-ascii.vtk', 'frame-binary.vtk', 'series/box3D_FEMmpData1.vtk']
    .map((f) => read(join(samples, f)));
  const stl = [read(join(samples, 'model.stl')), Buffer.from(
    'solid t\n facet normal 0 0 1\n  outer loop\n   vertex 0 0 0\n   vertex 1 0 0\n   vertex 0 1 0\n  endloop\n'
    + ' endfacet\nendsolid t\n')];
  return { step, bigStep, vts, frames, stl, tables, surface: read(join(samples, 'model.stl')) };
}

// ---------------------------------------------------------------- the source

export function prepareMutation({ scratch, root, seriesDir, random: r, generator }) {
  const samples = join(scratch, 'samples');
  execFileSync(generator, ['--encoding-samples', samples], { stdio: ['ignore', 'ignore', 'inherit'] });
  execFileSync(generator, [join(scratch, 'samples-root'), '--box-level', '1', '--grid', '4', '3', '3',
    '--modes', '2', '--series', join(samples, 'series'), '1'], { stdio: ['ignore', 'ignore', 'inherit'] });
  const base = baseFiles(samples);
  const mutants = join(scratch, 'mutants');
  mkdirSync(mutants, { recursive: true });
  let serial = 0;
  const slot = () => {
    const dir = join(mutants, String(serial++ % RING));
    mkdirSync(join(dir, 'data/modelAnsys/unitfcm5-0-1e-10-451'), { recursive: true });
    return dir;
  };
  const maybe = (kind, bytes) => (r.chance(0.9) ? mutate(kind, bytes, r) : bytes);
  const followUps = () => r.pick([
    'play 1', 'rightPlay 1', 'leftPlay 1', 'rightFastPlay 1', 'leftFastPlay 1', 'minmax', 'closeScalarBar',
    'attri sigma_xx 1', 'attri sigma_yy 1', 'attri nothing 1', 'endModel', `playModel ${root}`, 'attribute 1',
    'attribute 9', 'attribute 3', 'scalarBar 1 1', 'colorRGBS 2 1 0 0 0 0 1', 'reset', 'HightLight 1',
  ]);

  const kinds = [
    ['step', 3], ['vts', 30], ['mode', 10], ['stack', 8], ['frame', 16], ['series', 12], ['stl', 8], ['text', 13],
  ];
  const total = kinds.reduce((sum, [, weight]) => sum + weight, 0);
  const pickKind = () => {
    let roll = r.int(total);
    for (const [kind, weight] of kinds) {
      if ((roll -= weight) < 0) return kind;
    }
    return 'vts';
  };

  const make = {
    step() {
      const source = base.bigStep.length > 0 && r.chance(0.1) ? r.pick(base.bigStep) : r.pick(base.step);
      const path = join(slot(), 'model.step');
      return { files: [{ path, bytes: maybe('step', source) }], text: `openSTLFile ${root} ${path}` };
    },
    vts() {
      const dir = slot();
      return {
        files: [{ path: join(dir, `${MODEL_STEM}.stl`), bytes: base.surface },
          { path: join(dir, 'postprocess0.vts'), bytes: maybe('vts', r.pick(base.vts)) }],
        text: `Renderer ${dir}`,
      };
    },
    mode() {
      const dir = slot();
      const modal = join(dir, 'data/modelAnsys/unitfcm5-0-1e-10-451');
      return {
        files: [{ path: join(dir, `data/${MODEL_STEM}.stl`), bytes: base.surface },
          { path: join(modal, 'eigenvalues.txt'), bytes: maybe('text', Buffer.from(base.tables.eigenvalues)) },
          { path: join(modal, 'postprocess10.vts'), bytes: maybe('vts', r.pick(base.vts)) }],
        text: `ModelAnsys ${dir} 0`,
      };
    },
    stack() {
      const dir = slot();
      return {
        files: [{ path: join(dir, `data/${MODEL_STEM}.stl`), bytes: maybe('stl', base.surface) },
          { path: join(dir, 'data/postprocess0.vts'), bytes: maybe('vts', r.pick(base.vts)) }],
        text: `stack ${dir} ${r.pick(['1', '2', '0', '-1'])}`,
      };
    },
    frame() {
      const path = join(slot(), 'frame.vtk');
      return { files: [{ path, bytes: maybe('frame', r.pick(base.frames)) }], text: `rendererVTK ${path}` };
    },
    // The step commands read the series directory's frames by number.
    series() {
      const frame = 1 + r.int(3);
      return {
        files: [{ path: join(seriesDir, `box3D_FEMmpData${frame}.vtk`), bytes: maybe('frame', r.pick(base.frames)) }],
        text: r.pick(['play 1', 'rightPlay 1', 'leftPlay 1', 'rightFastPlay 1', 'leftFastPlay 1']),
      };
    },
    stl() {
      const path = join(slot(), 'part.stl');
      return {
        files: [{ path, bytes: maybe('stl', r.pick(base.stl)) }],
        text: r.chance(0.5) ? `readStl 1 ${path}` : `readModelSTL ${path} ${r.int(20)} 1 0.5 0 1`,
      };
    },
    text() {
      const dir = slot();
      const t = base.tables;
      const table = (name, content) => ({ path: join(dir, name), bytes: maybe('text', Buffer.from(content)) });
      return r.pick([
        () => ({ files: [table('eigenvalues.txt', t.eigenvalues)], text: `OnReadModelAnysy ${join(dir, 'eigenvalues.txt')}` }),
        () => ({ files: [table('Cord.txt', t.points), table('Deformation.txt', t.deformation)], text: `pointCloud ${dir}` }),
        () => ({ files: [table('beam.txt', t.beamMesh)], text: `BeiJingMesh ${join(dir, 'beam.txt')}` }),
        () => ({ files: [table('points.txt', t.points)], text: `load 1 ${join(dir, 'points.txt')}` }),
        () => ({
          files: [table('index_point.txt', t.stressIndex), table('vonmises.txt', t.stressValues),
            table(`${MODEL_STEM}.pts`, t.pts), table(`${MODEL_STEM}.tri`, t.tri)],
          text: `Stress ${dir}`,
        }),
      ])();
    },
  };

  return {
    next() {
      if (r.chance(0.2)) return { kind: 'text', text: followUps() };
      return { kind: 'mutant', ...make[pickKind()]() };
    },
  };
}

// Writes a mutant's files whole: a temporary name, then a rename.
export function writeMutantFiles(files) {
  for (const { path, bytes } of files) {
    writeFileSync(`${path}.part`, bytes);
    renameSync(`${path}.part`, path);
  }
}
