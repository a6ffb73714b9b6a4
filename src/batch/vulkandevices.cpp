#include "vulkandevices.h"

#define VK_NO_PROTOTYPES
#include <vulkan/vulkan_core.h>

#include <cstdint>
#include <dlfcn.h>
#include <vector>

bool VulkanOffersGraphicsDevice(const char* loader)
{
    void* library = ::dlopen(loader, RTLD_NOW | RTLD_LOCAL);
    if (!library)
        return false;
    const auto getProc =
        reinterpret_cast<PFN_vkGetInstanceProcAddr>(::dlsym(library, "vkGetInstanceProcAddr"));
    bool graphics = false;
    const auto createInstance =
        getProc ? reinterpret_cast<PFN_vkCreateInstance>(getProc(nullptr, "vkCreateInstance"))
                : nullptr;
    VkApplicationInfo application{};
    application.sType = VK_STRUCTURE_TYPE_APPLICATION_INFO;
    application.apiVersion = VK_API_VERSION_1_0;
    VkInstanceCreateInfo info{};
    info.sType = VK_STRUCTURE_TYPE_INSTANCE_CREATE_INFO;
    info.pApplicationInfo = &application;
    VkInstance instance = VK_NULL_HANDLE;
    if (createInstance && createInstance(&info, nullptr, &instance) == VK_SUCCESS) {
        const auto enumerate = reinterpret_cast<PFN_vkEnumeratePhysicalDevices>(
            getProc(instance, "vkEnumeratePhysicalDevices"));
        const auto properties = reinterpret_cast<PFN_vkGetPhysicalDeviceProperties>(
            getProc(instance, "vkGetPhysicalDeviceProperties"));
        const auto destroy =
            reinterpret_cast<PFN_vkDestroyInstance>(getProc(instance, "vkDestroyInstance"));
        std::uint32_t count = 0;
        if (enumerate && properties && enumerate(instance, &count, nullptr) == VK_SUCCESS) {
            std::vector<VkPhysicalDevice> devices(count);
            if (enumerate(instance, &count, devices.data()) >= VK_SUCCESS) {
                for (std::uint32_t i = 0; i < count; ++i) {
                    VkPhysicalDeviceProperties device{};
                    properties(devices[i], &device);
                    graphics = graphics ||
                               device.deviceType == VK_PHYSICAL_DEVICE_TYPE_DISCRETE_GPU ||
                               device.deviceType == VK_PHYSICAL_DEVICE_TYPE_INTEGRATED_GPU ||
                               device.deviceType == VK_PHYSICAL_DEVICE_TYPE_VIRTUAL_GPU;
                }
            }
        }
        if (destroy)
            destroy(instance, nullptr);
    }
    ::dlclose(library);
    return graphics;
}
