// MeshStuff: paths, grid meshes, normals, tubes, lathes and grids; sphere mapping and drawing.
#pragma once
