// Whether Vulkan can compute on a graphics device here, asked of the Vulkan loader at run time so
// that the program also starts where Vulkan is not installed.
#pragma once

// True when Vulkan lists a discrete, integrated or virtual GPU; false when it lists only
// processor devices (a software driver such as llvmpipe) or none, or when `loader` cannot be
// loaded.
bool VulkanOffersGraphicsDevice(const char* loader = "libvulkan.so.1");
